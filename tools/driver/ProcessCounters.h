// Resource counters of another process, as a leak hunt over many exchanges reads them.
#pragma once

#include <windows.h>

#include <string>

struct ProcessCounters {
    DWORD handles = 0;        // kernel handles
    DWORD userObjects = 0;    // USER objects (windows, menus, hooks, ...)
    DWORD gdiObjects = 0;     // GDI objects (DCs, fonts, bitmaps, ...)
    SIZE_T privateBytes = 0;  // private bytes; where the platform leaves it 0, committed memory
    SIZE_T workingSet = 0;
    DWORD threads = 0;
    ULONGLONG cpuMs = 0;      // user plus kernel time so far
};

// False with why set when the process cannot be opened or read.
bool ReadProcessCounters(DWORD pid, ProcessCounters& out, std::string& why);
