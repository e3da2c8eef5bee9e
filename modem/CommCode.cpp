// Modem data channel: taking over the comm handle, starting and stopping the read thread.
#include "modem/CommCode.h"

#include "shell/AppShell.h"
#include "shell/LinkMessages.h"
#include "modem/CommChannel.h"
#include "modem/CommErrorText.h"
#include "resources/resource.h"
#include "shell/DebugTrace.h"

static_assert(kCommErrorOverrun == CE_OVERRUN && kCommErrorRxParity == CE_RXPARITY &&
                  kCommErrorFrame == CE_FRAME,
              "receive-error flags differ from the platform's");

namespace {

comm_channel g_channel;

// A read returns once its buffer is full or the line has been quiet this long after a byte.
constexpr DWORD kReadIntervalMs = 250;
// How long a stop waits for the read thread before it is terminated.
constexpr DWORD kStopWaitMs = 10000;
// How long the login waits for the read thread to begin reading for it.
constexpr DWORD kRearmWaitMs = 2000;

void CloseEvent(HANDLE& event) {
    if (event != nullptr)
        CloseHandle(event);
    event = nullptr;
}

void ConfigureDevice(HANDLE handle) {
    // The telephony service set the line up; only the time-outs and the abort-on-error
    // behaviour are ours. Failures are not fatal: reading works with the service's settings.
    COMMTIMEOUTS timeouts{};
    GetCommTimeouts(handle, &timeouts);
    timeouts.ReadIntervalTimeout = kReadIntervalMs;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    SetCommTimeouts(handle, &timeouts);

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetCommState(handle, &dcb)) {
        // With abort-on-error a single line error would fail every later read and write
        // until the error is cleared.
        dcb.fAbortOnError = FALSE;
        SetCommState(handle, &dcb);
    }
}

// Ends a read thread that is still running: signal, end its pending read, wait, and
// terminate it if it does not go.
void EndReadThread(comm_channel& channel) {
    OutputDebugStringA("Closing Read Thread\n");
    SetEvent(channel.stopEvent);
    PurgeComm(channel.handle, PURGE_RXABORT | PURGE_RXCLEAR);
    if (WaitForSingleObject(channel.readThread, kStopWaitMs) != WAIT_OBJECT_0) {
        OutputDebugStringA("Read thread not exiting.  Terminating it.\n");
        TerminateThread(channel.readThread, 0);
        // Its I/O state may still be in use by the device: the thread's block is left
        // allocated on purpose (see CommReadThread).
    }
}

} // namespace

comm_channel& TheCommChannel() {
    return g_channel;
}

int StartCommChannel(HANDLE handle, unsigned tag) {
    if (GetFileType(handle) != FILE_TYPE_CHAR) {
        AppMessageBox(LoadText(IDS_NOT_COMM_HANDLE), MB_OK);
        return 0;
    }
    comm_channel& channel = g_channel;
    if (channel.handle != nullptr) {
        AppMessageBox(LoadText(IDS_COMM_ALREADY_OPEN), MB_OK);
        return 0;
    }
    channel.handle = handle;
    channel.tag = tag;
    channel.epoch = 0;
    ConfigureDevice(handle);

    channel.stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    channel.rearmEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    channel.rearmedEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (channel.stopEvent == nullptr || channel.rearmEvent == nullptr ||
        channel.rearmedEvent == nullptr) {
        COMM_REPORT_LAST_ERROR("Unable to CreateEvent: ");
        CloseEvent(channel.stopEvent);
        CloseEvent(channel.rearmEvent);
        CloseEvent(channel.rearmedEvent);
        channel.handle = nullptr; // still the caller's
        return 0;
    }
    DWORD id = 0;
    // Created suspended so the id is recorded before the thread can clear it.
    channel.readThread = CreateThread(nullptr, 0, CommReadThread, nullptr, CREATE_SUSPENDED, &id);
    if (channel.readThread == nullptr) {
        COMM_REPORT_LAST_ERROR("Unable to create Read thread");
        channel.readThreadId = 0;
        CloseEvent(channel.stopEvent);
        CloseEvent(channel.rearmEvent);
        CloseEvent(channel.rearmedEvent);
        channel.handle = nullptr; // still the caller's
        return 0;
    }
    channel.readThreadId = id;
    SetThreadPriority(channel.readThread, THREAD_PRIORITY_HIGHEST);
    ResumeThread(channel.readThread);
    OutputDebugStringA("Timeline: channel started\n");
    return 1;
}

void StopCommChannel() {
    comm_channel& channel = g_channel;
    if (channel.handle == nullptr)
        return;
    OutputDebugStringA("Stopping the Comm\n");
    if (channel.readThread != nullptr) {
        // A thread that ended by itself (after a line failure) is not waited for.
        if (WaitForSingleObject(channel.readThread, 0) != WAIT_OBJECT_0)
            EndReadThread(channel);
        CloseHandle(channel.readThread);
        channel.readThread = nullptr;
        channel.readThreadId = 0;
    }
    CloseEvent(channel.stopEvent);
    CloseEvent(channel.rearmEvent);
    CloseEvent(channel.rearmedEvent);
    CloseHandle(channel.handle);
    channel.handle = nullptr;
}

bool RearmCommChannel() {
    comm_channel& channel = g_channel;
    if (channel.handle == nullptr || channel.readThreadId == 0)
        return false;
    channel.epoch = channel.epoch + 1;
    SetEvent(channel.rearmEvent);
    if (WaitForSingleObject(channel.rearmedEvent, kRearmWaitMs) == WAIT_OBJECT_0)
        return true;
    OutputDebugStringA("The read thread did not begin reading for the login in time.\n");
    return false;
}

void RequestHangup() {
    // Without a window the message would go to the calling thread's own queue, where no
    // one reads it.
    HWND window = MainWindowHandle();
    if (window != nullptr)
        PostMessageA(window, WM_CHANNEL_FAILED, g_channel.tag, 0);
}
