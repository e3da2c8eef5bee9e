// Modem data channel: the read thread, which waits for line errors beside overlapped reads
// and hands every block it reads to the main dialog.
#include "modem/CommChannel.h"
#include "modem/CommCode.h"
#include "modem/CommErrorText.h"
#include "shell/DebugTrace.h"
#include "shell/LateBoundKernel.h"

#include <cstring>

namespace {

constexpr DWORD kReadBufferSize = 2048;
// How long an ending thread waits for its cancelled read and for its event wait to complete:
// both together well inside the time its stopper gives it (kStopWaitMs), so that a late
// TerminateThread cannot land in the middle of this clean-up.
constexpr DWORD kCancelWaitMs = 2000;
constexpr DWORD kEventTextSize = 256;

// Everything the device may still write to while a read or an event wait is in progress.
// It lives on the heap, not on the thread's stack, and is freed only once no request that
// uses it is left, so a request that completes late never writes into memory gone by then.
struct ReadIo {
    OVERLAPPED read;
    OVERLAPPED wait;
    DWORD eventMask;
    DWORD bytesRead;
    bool readPending;
    bool waitPending;
    char buffer[kReadBufferSize];
};

class ReadThread {
  public:
    explicit ReadThread(comm_channel& channel) : m_channel(channel) {}
    void Run();

  private:
    bool Prepare();
    bool Loop();
    bool StopRequested() const {
        return WaitForSingleObject(m_channel.stopEvent, 0) == WAIT_OBJECT_0;
    }
    enum class Request { Read, EventWait };
    bool Start(Request which);
    bool Collect(Request which, DWORD& count);
    bool Failed(DWORD error, const char* prefix, int line);
    bool FinishRead();
    bool HandleCommEvent(bool overlapped);
    bool Rearm();
    bool ReportLineError();
    void Hangup();
    bool Settle(OVERLAPPED& request, bool& pending);
    void Finish();

    comm_channel& m_channel;
    ReadIo* m_io = nullptr;
    bool m_hangupRequested = false;
    unsigned m_epoch = 0; // the epoch the read under way began in
};

void ReadThread::Run() {
    // Every way out but a stop ends the call.
    if (!Prepare() || !Loop())
        Hangup();
    Finish();
}

bool ReadThread::Prepare() {
    m_io = static_cast<ReadIo*>(LocalAlloc(LPTR, sizeof(ReadIo)));
    if (m_io == nullptr) {
        COMM_REPORT_LAST_ERROR("LocalAlloc: ");
        return false;
    }
    m_io->read.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    m_io->wait.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (m_io->read.hEvent == nullptr || m_io->wait.hEvent == nullptr) {
        COMM_REPORT_LAST_ERROR("Unable to CreateEvent: ");
        return false;
    }
    if (!SetCommMask(m_channel.handle, EV_ERR)) {
        COMM_REPORT_LAST_ERROR("Unable to SetCommMask: ");
        return false;
    }
    return Start(Request::EventWait) && Start(Request::Read);
}

// Serves completed requests until a stop (true) or a failure (false).
bool ReadThread::Loop() {
    // The stop event comes first, so a stop wins over anything the line does meanwhile.
    const HANDLE events[] = {m_channel.stopEvent, m_io->wait.hEvent, m_io->read.hEvent,
                             m_channel.rearmEvent};
    for (;;) {
        DWORD result = WaitForMultipleObjects(4, events, FALSE, INFINITE);
        switch (result) {
        case WAIT_OBJECT_0:
            return true;
        case WAIT_OBJECT_0 + 1:
            if (!HandleCommEvent(true) || !Start(Request::EventWait))
                return false;
            break;
        case WAIT_OBJECT_0 + 2:
            if (!FinishRead() || !Start(Request::Read))
                return false;
            break;
        case WAIT_OBJECT_0 + 3:
            if (!Rearm())
                return false;
            break;
        case WAIT_FAILED:
            COMM_REPORT_LAST_ERROR("Read WAIT_FAILED: ");
            return false;
        default:
            DebugPrint("Unexpected Wait return value '%lx'", result);
            return false;
        }
    }
}

// Starts the next read or event wait, and goes on with the next one while they complete at
// once: true once one is pending; false when one failed (said why) or a stop was asked for.
bool ReadThread::Start(Request which) {
    const bool read = which == Request::Read;
    for (;;) {
        if (StopRequested())
            return false;
        BOOL done;
        if (read) {
            m_io->bytesRead = 0;
            done = ReadFile(m_channel.handle, m_io->buffer, kReadBufferSize, &m_io->bytesRead,
                            &m_io->read) ||
                   GetLastError() == ERROR_TIMEOUT; // see Collect
        } else {
            m_io->eventMask = 0;
            done = WaitCommEvent(m_channel.handle, &m_io->eventMask, &m_io->wait);
        }
        if (done) {
            OutputDebugStringA(read ? "Data waiting for ReadFile.\n"
                                    : "Event (Error) waiting before WaitCommEvent.\n");
            if (!(read ? DeliverCommBytes(m_io->buffer, m_io->bytesRead, m_epoch)
                       : HandleCommEvent(false)))
                return false;
            continue;
        }
        DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            (read ? m_io->readPending : m_io->waitPending) = true;
            OutputDebugStringA(read ? "Waiting for data from comm connection.\n"
                                    : "Waiting for a CommEvent (Error) to occur.\n");
            return true;
        }
        return Failed(
            error,
            read ? "Unexpected ReadFile error: " : "Unexpected WaitCommEvent error: ", __LINE__);
    }
}

// Takes the result of a completed read or event wait; false (said why) when it failed.
bool ReadThread::Collect(Request which, DWORD& count) {
    const bool read = which == Request::Read;
    OVERLAPPED& request = read ? m_io->read : m_io->wait;
    bool& pending = read ? m_io->readPending : m_io->waitPending;
    count = 0;
    BOOL done = GetOverlappedResult(m_channel.handle, &request, &count, FALSE);
    DWORD error = done ? ERROR_SUCCESS : GetLastError();
    if (error != ERROR_IO_INCOMPLETE)
        pending = false;
    // A read that ended on its time-out has succeeded with what it got: the status is a
    // success code, though some implementations turn it into an error.
    if (done || (read && error == ERROR_TIMEOUT))
        return true;
    return Failed(error,
                  read ? "Unexpected GetOverlappedResult Read Error: "
                       : "Unexpected GetOverlappedResult for WaitCommEvent: ",
                  __LINE__);
}

bool ReadThread::FinishRead() {
    DWORD count = 0;
    return Collect(Request::Read, count) && DeliverCommBytes(m_io->buffer, count, m_epoch);
}

// The login is about to go out. The read under way began before it, so whatever it holds is
// no answer: it is ended and its bytes go out under the old epoch, bytes still waiting in the
// device are discarded, and the next read begins in the new epoch before the login is written.
bool ReadThread::Rearm() {
    const unsigned epoch = m_channel.epoch;
    if (m_io->readPending) {
        late_bound::CancelOverlapped(m_channel.handle, &m_io->read);
        if (!Settle(m_io->read, m_io->readPending))
            return false;
        DWORD count = 0;
        GetOverlappedResult(m_channel.handle, &m_io->read, &count, FALSE);
        if (!DeliverCommBytes(m_io->buffer, count, m_epoch))
            return false;
    }
    // Where only CancelIo exists it ends the event wait too: it is taken and begun again.
    if (m_io->waitPending && WaitForSingleObject(m_io->wait.hEvent, 0) == WAIT_OBJECT_0) {
        DWORD unused = 0;
        const BOOL waited = GetOverlappedResult(m_channel.handle, &m_io->wait, &unused, FALSE);
        m_io->waitPending = false;
        if (waited && (m_io->eventMask & EV_ERR) && !ReportLineError())
            return false;
        if (!Start(Request::EventWait))
            return false;
    }
    PurgeComm(m_channel.handle, PURGE_RXCLEAR);
    m_epoch = epoch;
    SetEvent(m_channel.rearmedEvent);
    return Start(Request::Read);
}

bool ReadThread::HandleCommEvent(bool overlapped) {
    DWORD unused = 0;
    if (overlapped && !Collect(Request::EventWait, unused))
        return false;
    if (m_io->eventMask & EV_ERR)
        return ReportLineError();
    DebugPrint("Unexpected comm event %lx", m_io->eventMask);
    return false;
}

// Says why a device call failed. ERROR_INVALID_HANDLE is how the telephony service closing
// the port shows; anything else is reported with the system's text.
bool ReadThread::Failed(DWORD error, const char* prefix, int line) {
    if (error == ERROR_INVALID_HANDLE)
        OutputDebugStringA("ERROR_INVALID_HANDLE, Likely that the Service Provider has closed "
                           "the port.\n");
    else
        ReportLastError(error, prefix, kCommModule, line);
    return false;
}

// A line error does not end reading: it is cleared and named in the trace.
bool ReadThread::ReportLineError() {
    DWORD errors = 0;
    if (!ClearCommError(m_channel.handle, &errors, nullptr))
        return Failed(GetLastError(), "ClearCommError: ", __LINE__);
    char* text = static_cast<char*>(LocalAlloc(LPTR, kEventTextSize));
    if (text == nullptr) {
        COMM_REPORT_LAST_ERROR("LocalAlloc: ");
        return false;
    }
    std::string line = CommEventText(errors);
    std::memcpy(text, line.data(), line.size() < kEventTextSize ? line.size() : kEventTextSize - 1);
    OutputDebugStringA(text);
    LocalFree(text);
    return true;
}

// One hang-up request per thread, however many steps failed on the way out, and none when
// the thread ends because it was told to: then the call is being stopped already.
void ReadThread::Hangup() {
    if (m_hangupRequested || StopRequested())
        return;
    m_hangupRequested = true;
    RequestHangup();
}

// Waits until the device is done with one request of this thread; false when it is not.
bool ReadThread::Settle(OVERLAPPED& request, bool& pending) {
    if (!pending)
        return true;
    if (WaitForSingleObject(request.hEvent, kCancelWaitMs) != WAIT_OBJECT_0)
        return false;
    DWORD unused = 0;
    GetOverlappedResult(m_channel.handle, &request, &unused, FALSE);
    pending = false;
    return true;
}

void ReadThread::Finish() {
    OutputDebugStringA("Read thread shutting down\n");
    PurgeComm(m_channel.handle, PURGE_RXABORT | PURGE_RXCLEAR);
    if (m_io != nullptr) {
        if (m_io->waitPending) {
            // A new mask ends a pending event wait.
            SetCommMask(m_channel.handle, 0);
        }
        if (m_io->readPending || m_io->waitPending)
            CancelIo(m_channel.handle);
        // Only once the device is done with both requests may their buffers go.
        const bool readDone = Settle(m_io->read, m_io->readPending);
        const bool waitDone = Settle(m_io->wait, m_io->waitPending);
        if (readDone && waitDone) {
            if (m_io->read.hEvent)
                CloseHandle(m_io->read.hEvent);
            if (m_io->wait.hEvent)
                CloseHandle(m_io->wait.hEvent);
            LocalFree(m_io);
        } else {
            DebugPrint("Read thread: cancelled %s%s%s not ended; its buffers are kept",
                       readDone ? "" : "read", readDone || waitDone ? "" : " and ",
                       waitDone ? "" : "event wait");
        }
        m_io = nullptr;
    }
    m_channel.readThreadId = 0;
}

} // namespace

DWORD WINAPI CommReadThread(LPVOID) {
    ReadThread thread(TheCommChannel());
    thread.Run();
    return 0;
}
