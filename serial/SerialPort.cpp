// Opening and closing ports, the per-port receive thread, DTR and RTS.
#include "shell/LateBoundKernel.h"
#include "serial/PortSettings.h"
#include "serial/RxWindow.h"
#include "serial/StatusText.h"
#include "serial/Win32Port.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace serial {

uint32_t LineFlagsOf(HANDLE device) {
    DWORD errors = 0;
    ClearCommError(device, &errors, nullptr);
    return errors;
}

int32_t LineErrorOf(HANDLE device) {
    return FailureError(LineFlagsOf(device));
}

bool AbortPendingWrite(generic_port* port) {
    OVERLAPPED* send = AsOverlapped(&port->tx_overlapped);
    if (HasOverlappedIoCompleted(send))
        return true;
    // The purge ends the write whichever thread started it; the cancel is for a driver that
    // ignores the purge.
    PurgeComm(DeviceOf(port), PURGE_TXABORT | PURGE_TXCLEAR);
    late_bound::CancelOverlapped(DeviceOf(port), send);
    WaitForSingleObject(send->hEvent, 1000);
    return HasOverlappedIoCompleted(send);
}

void SpinMicros(uint32_t micros) {
    if (micros == 0)
        return;
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const LONGLONG ticks = frequency.QuadPart * micros / 1000000;
    do {
        YieldProcessor();
        QueryPerformanceCounter(&now);
    } while (now.QuadPart - start.QuadPart < ticks);
}

namespace {

constexpr DWORD kRxChunk = 1024;
constexpr DWORD kWatchedEvents = EV_RXCHAR | EV_TXEMPTY | EV_CTS;

// The receive thread's control: close signals `stop`, and the thread ends at its next look,
// whatever it is doing. Everything the system writes for an overlapped call of the thread
// lives here, not on the thread's stack: the event-wait record, the event mask it reports
// and the read chunk. A wait the system has not finished cancelling when the thread ends can
// then still complete into them safely; they live as long as the process.
struct ReceiveControl {
    HANDLE stop;
    HANDLE woken;
    OVERLAPPED wait;
    DWORD events;
    uint8_t chunk[kRxChunk];
};
ReceiveControl g_control[kPortCount];

// Waits after a failed device call so a broken device cannot make the thread spin; the
// wait grows to 250 ms while the failures go on. True when close asked to stop meanwhile.
bool PauseAfterFailure(int index, unsigned* failures) {
    const DWORD pause = *failures >= 5 ? 250 : 10u << *failures;
    ++*failures;
    return WaitForSingleObject(g_control[index].stop, pause) == WAIT_OBJECT_0;
}

// Up to max bytes that the device holds now; 0 when none.
DWORD ReadWaiting(generic_port* port, uint8_t* destination, DWORD max) {
    const HANDLE device = DeviceOf(port);
    DWORD errors = 0;
    COMSTAT state{};
    // Reading the queue clears the line error flags too: what they say is taken now, or lost.
    ClearCommError(device, &errors, &state);
    if (const int32_t line_error = ReceptionError(errors))
        port->status = line_error;
    const DWORD wanted = state.cbInQue < max ? state.cbInQue : max;
    if (wanted == 0)
        return 0;
    OVERLAPPED* overlapped = AsOverlapped(&port->rx_overlapped);
    ResetEvent(overlapped->hEvent);
    DWORD got = 0;
    if (ReadFile(device, destination, wanted, &got, overlapped))
        return got;
    if (GetLastError() != ERROR_IO_PENDING) {
        port->status = FailureError(errors | LineFlagsOf(device));
        return 0;
    }
    OutputDebugStringA("IO Pending\n\r");
    for (;;) {
        if (GetOverlappedResult(device, overlapped, &got, TRUE))
            return got;
        if (GetLastError() != ERROR_IO_INCOMPLETE)
            break;
    }
    port->status = FailureError(errors | LineFlagsOf(device));
    return got;
}

void HandleEvents(int index, generic_port* port, DWORD events) {
    if (events & EV_RXCHAR) {
        uint8_t* chunk = g_control[index].chunk;
        while (DWORD got = ReadWaiting(port, chunk, kRxChunk)) {
            OutputDebugStringA("Timeline: bytes received\n");
            RxDeliver(port, &g_echo[index], chunk, got, GetTickCount());
        }
    }
    if (events & EV_TXEMPTY) {
        if (g_lines[index].rts_toggle) {
            SpinMicros(g_lines[index].char_time_us);
            SCSetRts(port, 0);
        }
        port->tx_end_tick = GetTickCount();
        port->tx_empty = 1;
        OutputDebugStringA("Timeline: transmitter empty\n");
    }
    if (events & EV_CTS)
        g_lines[index].cts_seen = 1;
}

DWORD WINAPI ReceiveThread(LPVOID argument) {
    const int index = static_cast<int>(reinterpret_cast<INT_PTR>(argument));
    generic_port* port = g_ports[index];
    const HANDLE device = DeviceOf(port);
    ReceiveControl& control = g_control[index];
    const HANDLE waits[2] = {control.woken, control.stop};
    SetCommMask(device, kWatchedEvents);
    unsigned failures = 0;
    while (WaitForSingleObject(control.stop, 0) != WAIT_OBJECT_0) {
        control.wait = OVERLAPPED{};
        control.wait.hEvent = control.woken;
        ResetEvent(control.woken);
        control.events = 0;
        if (!WaitCommEvent(device, &control.events, &control.wait)) {
            if (GetLastError() != ERROR_IO_PENDING) {
                if (PauseAfterFailure(index, &failures))
                    break;
                continue;
            }
            const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
            if (woke != WAIT_OBJECT_0) {
                // Close, or a wait that cannot work. The request is cancelled but not
                // waited for without limit: not every system ends a cancelled event wait.
                CancelIo(device);
                WaitForSingleObject(control.woken, 100);
                if (woke == WAIT_OBJECT_0 + 1 || PauseAfterFailure(index, &failures))
                    break;
                continue;
            }
            DWORD ignored;
            if (!GetOverlappedResult(device, &control.wait, &ignored, FALSE)) {
                if (PauseAfterFailure(index, &failures))
                    break;
                continue;
            }
        }
        failures = 0;
        const DWORD events = control.events;
        if (events == 0)
            break;
        HandleEvents(index, port, events);
    }
    return 0;
}

bool ConfigureDevice(HANDLE device, const port_config& config) {
    PurgeComm(device, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 1000;
    timeouts.WriteTotalTimeoutMultiplier = WriteTotalMultiplier(config.char_timeout);
    timeouts.WriteTotalTimeoutConstant = 1000;
    SetCommTimeouts(device, &timeouts);

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(device, &dcb))
        return false;
    Parity parity;
    StopBits stop_bits;
    if (!ParityFromConfig(config.parity, &parity) ||
        !StopBitsFromConfig(config.stop_bits, &stop_bits))
        return false;
    dcb.BaudRate = config.baud_rate;
    dcb.ByteSize = static_cast<BYTE>(config.data_bits & 0xff);
    dcb.Parity = parity == Parity::Even ? EVENPARITY : parity == Parity::Odd ? ODDPARITY : NOPARITY;
    dcb.StopBits = stop_bits == StopBits::One ? ONESTOPBIT : TWOSTOPBITS;
    // Line control belongs to the library (SCSetDtr, SCSetRts), not to the driver.
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    return SetCommState(device, &dcb) != FALSE;
}

// True once the system has finished with an overlapped request (waits up to a second).
bool Settled(const OVERLAPPED* request) {
    for (int waited = 0; !HasOverlappedIoCompleted(request); ++waited) {
        if (waited == 1000)
            return false;
        Sleep(1);
    }
    return true;
}

// Releases what a port holds, in the reverse order of opening; safe on a partial open.
void ReleasePort(generic_port* port) {
    if (port->comm_handle != nullptr && port->comm_handle != INVALID_HANDLE_VALUE)
        CloseHandle(DeviceOf(port));
    port->comm_handle = INVALID_HANDLE_VALUE;
    for (sc_overlapped* record : {&port->rx_overlapped, &port->tx_overlapped})
        if (record->event != nullptr) {
            CloseHandle(static_cast<HANDLE>(record->event));
            record->event = nullptr;
        }
    if (port->rx_guard != nullptr)
        RxClose(port);
    SCFree(port);
}

} // namespace
} // namespace serial

using namespace serial;

extern "C" {

generic_port* SC_CALL SCPortOpen(void* owner, port_config* config, int32_t* error) {
    int32_t ignored_error;
    if (error == nullptr)
        error = &ignored_error;
    if (config == nullptr || !ValidPortIndex(config->port_index) ||
        g_ports[config->port_index] != nullptr) {
        *error = SC_PORT_IN_USE;
        return nullptr;
    }
    const int index = config->port_index;
    auto* port = static_cast<generic_port*>(SCAlloc(1, sizeof(generic_port)));
    if (port == nullptr) {
        *error = SC_NO_MEMORY;
        return nullptr;
    }
    std::memset(port, 0, sizeof *port);
    port->port_index = index;
    port->rx_overlapped.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    port->tx_overlapped.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    port->start_timeout = NormalisedTimeout(config->start_timeout);
    port->end_timeout = config->end_timeout;
    port->char_timeout = NormalisedTimeout(config->char_timeout);

    // The \\.\ form is the only one that reaches COM10 and above, and is harmless below.
    char name[16];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", index + 1);
    port->comm_handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
    if (port->comm_handle == INVALID_HANDLE_VALUE || !ConfigureDevice(DeviceOf(port), *config)) {
        ReleasePort(port);
        *error = SC_INVALID_PORT;
        return nullptr;
    }
    LineState& line = g_lines[index];
    line = LineState{};
    line.wait_cts = config->wait_cts != 0;
    line.cts_timeout = config->cts_timeout;
    line.rts_toggle = config->rts_mode != 0;

    if (!RxOpen(port, ClampedRxSize(config->rx_size))) {
        ReleasePort(port);
        *error = SC_NO_MEMORY;
        return nullptr;
    }
    port->tx_empty = 1;
    port->owner = owner;
    port->user_routine = SCUserRoutineDefault;

    EchoState& echo = g_echo[index];
    echo = EchoState{};
    echo.enabled = config->rts_mode == SC_RTS_TOGGLE_ECHO;
    echo.buffer = static_cast<uint8_t*>(SCAlloc(1, config->echo_size));
    echo.capacity = echo.buffer != nullptr ? config->echo_size : 0;
    line.char_time_us = CharTimeMicros(config->baud_rate);
    g_ports[index] = port;

    ReceiveControl& control = g_control[index];
    control.stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    control.woken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD thread_id = 0;
    HANDLE thread = control.stop != nullptr && control.woken != nullptr
                        ? CreateThread(nullptr, 0, ReceiveThread,
                                       reinterpret_cast<LPVOID>(static_cast<INT_PTR>(index)),
                                       CREATE_SUSPENDED, &thread_id)
                        : nullptr;
    if (thread != nullptr) {
        port->rx_thread = thread;
        port->rx_thread_id = thread_id;
        SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
        ResumeThread(thread);
    }
    if ((config->options & SC_OPTION_NO_DTR) == 0)
        SCSetDtr(port, 1);
    *error = SC_OK;
    return port;
}

void SC_CALL SCPortClose(generic_port* port) {
    if (port == nullptr)
        return;
    const int index = port->port_index;
    if (port->rx_thread != nullptr) {
        SetEvent(g_control[index].stop);
        SetCommMask(DeviceOf(port), 0);
        WaitForSingleObject(static_cast<HANDLE>(port->rx_thread), INFINITE);
        CloseHandle(static_cast<HANDLE>(port->rx_thread));
        port->rx_thread = nullptr;
    }
    // A send still under way would complete into the record after it is freed: abort it.
    AbortPendingWrite(port);
    OVERLAPPED* send = AsOverlapped(&port->tx_overlapped);
    const HANDLE device = DeviceOf(port);
    port->comm_handle = INVALID_HANDLE_VALUE;
    CloseHandle(device); // ends whatever the system still had under way on the port
    const bool settled = Settled(send);
    for (HANDLE* event : {&g_control[index].stop, &g_control[index].woken})
        if (*event != nullptr) {
            CloseHandle(*event);
            *event = nullptr;
        }
    if (ValidPortIndex(index) && g_ports[index] == port) {
        g_ports[index] = nullptr;
        SCFree(g_echo[index].buffer);
        g_echo[index] = EchoState{};
        g_lines[index] = LineState{};
    }
    if (settled)
        ReleasePort(port);
    // Otherwise the record stays allocated: a small leak instead of a late write into
    // freed memory.
}

int32_t SC_CALL SCSetDtr(generic_port* port, uint16_t on) {
    if (port == nullptr)
        return 0;
    return EscapeCommFunction(DeviceOf(port), on ? SETDTR : CLRDTR);
}

int32_t SC_CALL SCSetRts(generic_port* port, uint16_t on) {
    if (port == nullptr)
        return 0;
    return EscapeCommFunction(DeviceOf(port), on ? SETRTS : CLRRTS);
}

} // extern "C"
