// Libraries the program loads come from the system folder only: never from the exe's own
// folder or the current one, where a download folder or a USB stick may hold a stray DLL.
#pragma once

#include <windows.h>

// Narrows this process's DLL search to the system folder where the system can
// (SetDefaultDllDirectories), and otherwise takes at least the current folder out of it
// (SetDllDirectoryW with an empty name, XP SP1 and later). WinMain calls it first; a program
// that loads Farlink.exe as a library keeps its own search order.
void RestrictDllSearchToSystem();

// Loads a system library (`name` is a bare file name, "tapi32.dll") from the system folder;
// null, with GetLastError set, when it is not there or cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);
