// Reads another process's handle, USER/GDI, memory, thread and CPU counters.
#include "tools/driver/ProcessCounters.h"

#include <psapi.h>
#include <tlhelp32.h>

namespace {

struct OwnedHandle {
    HANDLE h;
    ~OwnedHandle() {
        if (h && h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

// The process record carries no thread count that every platform fills, so count the
// snapshot's threads that belong to the process.
DWORD CountThreads(DWORD pid) {
    OwnedHandle snapshot{CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0)};
    if (snapshot.h == INVALID_HANDLE_VALUE)
        return 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    DWORD count = 0;
    for (BOOL more = Thread32First(snapshot.h, &entry); more;
         more = Thread32Next(snapshot.h, &entry)) {
        if (entry.th32OwnerProcessID == pid)
            ++count;
    }
    return count;
}

ULONGLONG Milliseconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return value.QuadPart / 10000;
}

} // namespace

bool ReadProcessCounters(DWORD pid, ProcessCounters& out, std::string& why) {
    OwnedHandle process{OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid)};
    if (!process.h) {
        why = "cannot open process " + std::to_string(pid) + " (error " +
              std::to_string(GetLastError()) + ")";
        return false;
    }
    out = ProcessCounters();
    GetProcessHandleCount(process.h, &out.handles);
    out.userObjects = GetGuiResources(process.h, GR_USEROBJECTS);
    out.gdiObjects = GetGuiResources(process.h, GR_GDIOBJECTS);

    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    if (!GetProcessMemoryInfo(process.h, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                              sizeof memory)) {
        why = "cannot read the memory counters (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    out.privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    out.workingSet = memory.WorkingSetSize;
    out.threads = CountThreads(pid);

    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process.h, &created, &exited, &kernel, &user))
        out.cpuMs = Milliseconds(kernel) + Milliseconds(user);
    return true;
}
