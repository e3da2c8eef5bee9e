// What the parts of the modem data channel share: the channel record and the read thread.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>

// The one channel of the process. Only the user-interface thread starts and stops it; the
// read thread clears readThreadId as it ends, and never touches readThread itself, so that
// StopCommChannel can always wait on that handle.
struct comm_channel {
    HANDLE handle = nullptr;     // the modem's comm handle; null while stopped
    HANDLE readThread = nullptr; // null when no read thread was started
    std::atomic<DWORD> readThreadId{0};
    HANDLE stopEvent = nullptr; // manual reset: tells the read thread to end
    unsigned tag = 0;           // the call attempt the channel serves, on every block it posts
    // The login's epoch: the user-interface thread counts it up just before the login goes
    // out, and the read thread starts a fresh read for it (see RearmCommChannel).
    std::atomic<unsigned> epoch{0};
    HANDLE rearmEvent = nullptr;   // auto reset: a new epoch has begun
    HANDLE rearmedEvent = nullptr; // auto reset: the read thread reads for it now
};

comm_channel& TheCommChannel();

// Source name the channel's diagnostics give.
constexpr const char* kCommModule = "CommCode";

// Reports the calling thread's last error with a prefix and the line of the report.
#define COMM_REPORT_LAST_ERROR(prefix)                                                             \
    ReportLastError(GetLastError(), prefix, kCommModule, __LINE__)

// The read thread's body; its parameter is unused.
DWORD WINAPI CommReadThread(LPVOID);

// Posts count bytes to the main dialog as WM_REMOTE_DATA in a fresh local-heap block with a
// 0 and the channel's tag after them (its attempt, and epoch: the epoch the read began in);
// nothing for 0 bytes. false when the block could not be made or posted.
bool DeliverCommBytes(const char* bytes, DWORD count, unsigned epoch);
