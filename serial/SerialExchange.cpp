// Sending, waiting for the transmission and the answer, and the other line operations.
#include "serial/RxWindow.h"
#include "serial/TimeoutModel.h"
#include "serial/Win32Port.h"

using namespace serial;

namespace {

constexpr WPARAM kAppExitCommand = 0xE141;

bool StillPending(DWORD error) {
    return error == ERROR_IO_PENDING || error == ERROR_IO_INCOMPLETE;
}

// A failed transmission: the line error, RTS back down.
void FailTransmission(generic_port* port, int32_t status) {
    port->status = status;
    SCSetRts(port, 0);
}

} // namespace

extern "C" {

void SC_CALL SCClearRxBuffer(generic_port* port) {
    if (port == nullptr)
        return;
    RxClear(port);
    PurgeComm(DeviceOf(port), PURGE_RXCLEAR);
}

void SC_CALL SCClearTxBuffer(generic_port* port) {
    if (port == nullptr)
        return;
    PurgeComm(DeviceOf(port), PURGE_TXCLEAR);
    EchoDisarm(port, &g_echo[port->port_index]);
}

int32_t SC_CALL SCResetSerial(generic_port* port) {
    if (port == nullptr)
        return 0;
    FlushFileBuffers(DeviceOf(port));
    return 1;
}

int32_t SC_CALL SCBreak(generic_port* port, uint32_t duration) {
    if (port == nullptr || port->status != SC_OK)
        return 0;
    SetCommBreak(DeviceOf(port));
    Sleep(duration);
    ClearCommBreak(DeviceOf(port));
    return 1;
}

void SC_CALL SCUserAbort(generic_port* port) {
    if (port != nullptr)
        port->status = SC_USER_ABORT;
}

int32_t SC_CALL SCSendTxBuf(generic_port* port, const uint8_t* data, int32_t length) {
    if (port == nullptr)
        return 0;
    // An earlier write that has not ended is given up, never waited for: a peer that stopped
    // taking bytes would hold this call, and the thread that made it, without limit. The
    // send record is reused only once the system has let go of it.
    if (!AbortPendingWrite(port)) {
        port->status = SC_CANNOT_SEND;
        return 0;
    }
    const int index = port->port_index;
    LineState& line = g_lines[index];
    port->status = SC_OK;
    port->msg_complete = 0;
    line.tx_start = GetTickCount();
    RxStartExchange(port, &g_echo[index], length);
    PurgeComm(DeviceOf(port), PURGE_RXCLEAR);
    if (length < 0 || (data == nullptr && length > 0)) {
        EchoDisarm(port, &g_echo[index]);
        port->status = SC_CANNOT_SEND;
        return 0;
    }
    port->tx_empty = 0;
    line.cts_seen = 0;
    if (line.rts_toggle)
        SCSetRts(port, 1);
    if (line.wait_cts) {
        const DWORD start = GetTickCount();
        while (!line.cts_seen && static_cast<int32_t>(GetTickCount() - start) < line.cts_timeout)
            Sleep(10);
        // A missing CTS is only worth a trace: the send goes on regardless.
    }
    OVERLAPPED* overlapped = AsOverlapped(&port->tx_overlapped);
    const HANDLE event = overlapped->hEvent;
    *overlapped = OVERLAPPED{};
    overlapped->hEvent = event;
    ResetEvent(event);
    if (!WriteFile(DeviceOf(port), data, static_cast<DWORD>(length), nullptr, overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        EchoDisarm(port, &g_echo[index]);
        FailTransmission(port, SC_CANNOT_SEND);
        return 0;
    }
    OutputDebugStringA("Timeline: write started\n");
    return 1;
}

int32_t SC_CALL SCWaitTxEmpty(generic_port* port) {
    if (port == nullptr)
        return 0;
    if (port->tx_empty)
        return 1;
    OVERLAPPED* overlapped = AsOverlapped(&port->tx_overlapped);
    for (;;) {
        // Short waits, so the transmit limit ends a write whose peer never takes the bytes.
        WaitForSingleObject(overlapped->hEvent, 10);
        DWORD sent = 0;
        if (GetOverlappedResult(DeviceOf(port), overlapped, &sent, FALSE))
            return 1;
        if (!StillPending(GetLastError())) {
            FailTransmission(port, LineErrorOf(DeviceOf(port)));
            return 0;
        }
        if (TxLimitPassed(g_lines[port->port_index].tx_start, GetTickCount())) {
            FailTransmission(port, SC_TIMEOUT_TX_MESSAGE);
            return 0;
        }
    }
}

void SC_CALL SCVerifyTimeout(generic_port* port) {
    if (port == nullptr || port->status != SC_OK)
        return;
    const DWORD now = GetTickCount();
    if (!port->tx_empty) {
        if (TxLimitPassed(g_lines[port->port_index].tx_start, now)) {
            FailTransmission(port, SC_TIMEOUT_TX_MESSAGE);
            return;
        }
        DWORD sent = 0;
        if (!GetOverlappedResult(DeviceOf(port), AsOverlapped(&port->tx_overlapped), &sent,
                                 FALSE) &&
            !StillPending(GetLastError()))
            FailTransmission(port, LineErrorOf(DeviceOf(port)));
        return;
    }
    if (!port->msg_complete &&
        TxEndedLate(g_lines[port->port_index].tx_start, port->tx_end_tick)) {
        FailTransmission(port, SC_TIMEOUT_TX_MESSAGE);
        return;
    }
    const int32_t status = AnswerPhaseStatus(*port, now);
    if (status != SC_OK)
        port->status = status;
}

int32_t SC_CALL SCWaitMessage(generic_port* port) {
    if (port == nullptr || port->status != SC_OK)
        return 0;
    for (;;) {
        if (port->msg_complete)
            return 1;
        SCVerifyTimeout(port);
        if (port->status != SC_OK)
            return 0;
        SCWindowsExecute();
    }
}

void SC_CALL SCWindowsExecute(void) {
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE))
        return;
    // The application's way out stays queued for the loop that waits around us.
    if (message.message == WM_QUIT || message.message == WM_CLOSE ||
        (message.message == WM_COMMAND && message.wParam == kAppExitCommand))
        return;
    if (PeekMessageA(&message, message.hwnd, message.message, message.message, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

} // extern "C"
