// Diagnostic trace: formatted lines to the debugger output.
// Only stack buffers and blocks allocated per call: the modem reader thread
// calls these too.
#include "shell/DebugTrace.h"
#include "shell/ErrorReport.h"
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace {

const size_t kLineSize = 4096;

// FormatMessage can fail to describe the error it failed with; the nesting
// stops after this many rounds with a plain code instead of a text.
const int kMaxFormatDepth = 3;

char* FormatLastErrorAt(DWORD error, int depth) {
    char* text = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0x409, reinterpret_cast<char*>(&text), 0, nullptr);
    if (length != 0 && text != nullptr)
        return text;
    DWORD failure = GetLastError();
    if (text != nullptr)
        LocalFree(text);
    char* block = static_cast<char*>(LocalAlloc(LPTR, kLineSize));
    if (block == nullptr) {
        OutputDebugStringA("Out of memory trying to FormatLastError\r\n");
        return nullptr;
    }
    if (depth >= kMaxFormatDepth) {
        snprintf(block, kLineSize, "FormatMessage failed on error 0x%lx (error 0x%lx)",
                 static_cast<unsigned long>(error), static_cast<unsigned long>(failure));
        return block;
    }
    char* reason = FormatLastErrorAt(failure, depth + 1);
    if (reason == nullptr) {
        LocalFree(block);
        return nullptr;
    }
    snprintf(block, kLineSize, "FormatMessage failed on error 0x%lx for the following reason: %s",
             static_cast<unsigned long>(error), reason);
    LocalFree(reason);
    return block;
}

} // namespace

void DebugPrint(const char* format, ...) {
    // Room for the line end after a text cut at the buffer's size.
    char buffer[kLineSize];
    const size_t room = kLineSize - 2;
    va_list args;
    va_start(args, format);
    int written = vsnprintf(buffer, room, format, args);
    va_end(args);
    if (written < 0)
        buffer[0] = '\0';
    size_t length = strlen(buffer);
    if (length == 0 || buffer[length - 1] != '\n')
        memcpy(buffer + length, "\r\n", 3);
    OutputDebugStringA(buffer);
}

void ReportLastError(DWORD error, const char* prefix, const char* file, int line) {
    char* text = FormatLastError(error);
    WriteErrorReport(prefix, "GetLastError returned", text, file, line, true);
    if (text != nullptr)
        LocalFree(text);
}

void WriteErrorReport(const char* prefix, const char* kind, const char* text, const char* file,
                      int line, bool endOutOfMemory) {
    if (prefix == nullptr)
        prefix = "";
    char report[kLineSize];
    if (text == nullptr && file != nullptr)
        snprintf(report, sizeof report, "%sOut of memory in file %s, line %d\r\n", prefix, file,
                 line);
    else if (text == nullptr)
        snprintf(report, sizeof report, "%sOut of memory%s", prefix, endOutOfMemory ? "\r\n" : "");
    else if (file != nullptr)
        snprintf(report, sizeof report, "%s%s: \"%s\" in File \"%s\", Line %d\r\n", prefix, kind,
                 text, file, line);
    else
        snprintf(report, sizeof report, "%s%s: \"%s\"\r\n", prefix, kind, text);
    OutputDebugStringA(report);
}

char* FormatLastError(DWORD error) {
    return FormatLastErrorAt(error, 0);
}
