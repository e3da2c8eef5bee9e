// Diagnostic trace: one debugger-output line per report, safe on any thread.
#pragma once
#include <windows.h>

// Formats with printf conversions into a 4096-byte buffer, ends the text with
// "\r\n" unless it already ends with "\n", and writes it with one
// OutputDebugStringA.
void DebugPrint(const char* format, ...);

// One debug line with the system's text for error (callers pass GetLastError()
// right after the failing call). prefix and file may be null; file names the
// reporting module ("TapiCode", "CommCode").
void ReportLastError(DWORD error, const char* prefix, const char* file, int line);

// The system's text for error in a LocalAlloc'd block the caller frees with
// LocalFree, or NULL when no block could be had.
char* FormatLastError(DWORD error);
