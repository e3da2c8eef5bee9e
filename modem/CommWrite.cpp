// Modem data channel: writing the login frame from the user-interface thread, bounded in time.
#include "shell/AppShell.h"
#include "shell/TextFormat.h"
#include "modem/CommChannel.h"
#include "modem/CommCode.h"
#include "resources/resource.h"
#include "shell/DebugTrace.h"
#include "shell/LinkEvents.h"

#include <cstring>

namespace {

// A write that has not completed by then counts as failed and is cancelled.
constexpr DWORD kWriteLimitMs = 5000;
// How long a cancelled write may take to end before its buffer is given up for lost.
constexpr DWORD kCancelWaitMs = 2000;

// The write's request and a copy of its bytes: the device reads from here until the write
// has ended, which after a cancellation may be later than WriteComm returns.
struct WriteIo {
    OVERLAPPED overlapped;
    char bytes[1];
};

struct WriteOutcome {
    bool failed = false;
    DWORD written = 0;
    DWORD error = 0;
    bool settled = true; // the device no longer uses the request
};

// Waits for a pending write until the limit, cancelling it when the limit passes.
WriteOutcome AwaitWrite(HANDLE handle, WriteIo& io) {
    WriteOutcome outcome;
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD left = elapsed < kWriteLimitMs ? kWriteLimitMs - elapsed : 0;
        if (WaitForSingleObject(io.overlapped.hEvent, left) != WAIT_OBJECT_0)
            break; // still not written: cancelled below
        DWORD written = 0;
        if (GetOverlappedResult(handle, &io.overlapped, &written, FALSE)) {
            outcome.written = written;
            // Complete, but later than the frame may arrive: the peer cannot count on it.
            if (GetTickCount() - start > kWriteLimitMs) {
                outcome.failed = true;
                outcome.error = ERROR_TIMEOUT;
            }
            return outcome;
        }
        DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING && error != ERROR_IO_INCOMPLETE) {
            outcome.failed = true;
            outcome.error = error;
            return outcome;
        }
    }
    // Our write is the only request of this thread on the handle, so CancelIo ends just it.
    CancelIo(handle);
    outcome.failed = true;
    outcome.error = ERROR_TIMEOUT;
    if (WaitForSingleObject(io.overlapped.hEvent, kCancelWaitMs) == WAIT_OBJECT_0) {
        DWORD unused = 0;
        GetOverlappedResult(handle, &io.overlapped, &unused, FALSE);
    } else {
        outcome.settled = false;
    }
    return outcome;
}

} // namespace

BOOL WriteComm(const void* bytes, DWORD count) {
    HANDLE handle = TheCommChannel().handle;
    auto* io = static_cast<WriteIo*>(LocalAlloc(LPTR, sizeof(WriteIo) + count));
    if (io == nullptr) {
        COMM_REPORT_LAST_ERROR("LocalAlloc: ");
        RequestHangup();
        return 0;
    }
    io->overlapped.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (io->overlapped.hEvent == nullptr) {
        COMM_REPORT_LAST_ERROR("Unable to CreateEvent: ");
        LocalFree(io);
        RequestHangup();
        return 0;
    }
    if (count != 0)
        std::memcpy(io->bytes, bytes, count);

    WriteOutcome outcome;
    DWORD written = 0;
    OutputDebugStringA("Timeline: WriteComm\n");
    if (WriteFile(handle, io->bytes, count, &written, &io->overlapped)) {
        outcome.written = written;
    } else if (GetLastError() == ERROR_IO_PENDING) {
        outcome = AwaitWrite(handle, *io);
    } else {
        outcome.failed = true;
        outcome.error = GetLastError();
    }

    if (outcome.settled) {
        CloseHandle(io->overlapped.hEvent);
        LocalFree(io);
    } else {
        // The device may still read the bytes and signal the event: both must stay.
        OutputDebugStringA("WriteComm: a cancelled write has not ended; its buffer is kept\n");
    }

    if (outcome.failed) {
        LinkStatus(FormatIntegers(LoadText(IDS_WRITE_ERROR), {long(outcome.error)}));
        return 0;
    }
    if (outcome.written != count) {
        LinkStatus(
            FormatIntegers(LoadText(IDS_PARTIAL_WRITE), {long(outcome.written), long(count)}));
        return 0;
    }
    return 1;
}
