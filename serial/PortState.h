// Library-private per-port state beside generic_port: the port table, echo and line control.
#pragma once

#include "serial/SerialApi.h"

#include <cstdint>

namespace serial {

constexpr int kPortCount = 8;

// Echo removal on links where the device hears its own transmission.
struct EchoState {
    int32_t enabled;  // opened with rts_mode 2
    int32_t received; // echo bytes taken for the current send
    int32_t expected; // echo bytes to take for the current send
    int32_t capacity; // size of buffer (echo_size)
    uint8_t* buffer;
};

struct LineState {
    int32_t rts_toggle;         // RTS raised per send, dropped when the transmitter is empty
    int32_t wait_cts;           // each send waits for a CTS change first
    volatile int32_t cts_seen;  // set by the receive thread, cleared by each send
    uint32_t char_time_us;      // one character at the port's baud rate; 0 = no wait
    int32_t cts_timeout;        // longest CTS wait, ms
    volatile uint32_t tx_start; // tick at which this port's latest send began
};

// Indexed by port index; a slot holds the open port or null.
extern generic_port* g_ports[kPortCount];
extern EchoState g_echo[kPortCount];
extern LineState g_lines[kPortCount];

inline bool ValidPortIndex(int32_t index) {
    return index >= 0 && index < kPortCount;
}

} // namespace serial
