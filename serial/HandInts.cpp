// HandInts: the direct link's user routine, decoding the station's envelopes on the receive thread.
#include "serial/DirectState.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>

RxFrame rx_frame;
uint32_t last_byte_tick;
AcknowledgedAnswer acked_answer;

static void Trace(const char* format, int a, int b) {
    char line[128];
    std::snprintf(line, sizeof line, format, a, b);
    OutputDebugStringA(line);
}

// Each call is for one new byte. The receive buffer keeps every byte until it is full,
// after which the library drops new ones and SCPeekLastChar would show a stale byte; so
// once this byte has filled it, empty it: the next byte is then stored and seen, and an
// answer of any length decodes.
static void KeepRoomForTheNextByte(generic_port* port) {
    if (!SCIsRxFull(port))
        return;
    uint8_t discarded;
    while (SCReadChar(port, &discarded)) {
    }
}

void SC_CALL HandInts(generic_port* port) {
    uint8_t byte;
    if (port == nullptr || !SCPeekLastChar(port, &byte))
        return;

    const uint32_t now = GetTickCount();
    if (GapRestartsDecoding(now, last_byte_tick, port->char_timeout)) {
        port->status = 0;
        port->msg_state = kWaitStx;
    }
    last_byte_tick = now;

    int32_t state = port->msg_state;
    const DecodeStep step = DecodeEnvelopeByte(state, rx_frame, byte);
    port->msg_state = state;
    KeepRoomForTheNextByte(port);

    if (!step.frameEnded)
        return;
    if (!step.bccMatches)
        Trace("HandInts: answer BCC 0x%02X does not match 0x%02X, frame kept\n", byte,
              rx_frame.bcc);
    if (rx_frame.dropped > 0)
        Trace("HandInts: answer of %d bytes cut to %d\n", rx_frame.length + rx_frame.dropped,
              rx_frame.length);
    if (!step.acknowledged || port->msg_complete)
        return;
    std::memcpy(acked_answer.bytes, rx_frame.bytes, static_cast<size_t>(rx_frame.length));
    acked_answer.length = rx_frame.length;
    std::atomic_thread_fence(std::memory_order_release);
    port->msg_complete = 1;
    OutputDebugStringA("Timeline: answer acknowledged\n");
}
