// State shared by the direct link's operations and its decoder on the receive thread.
#pragma once
#include "serial/Envelope.h"
#include "serial/SerialApi.h"

#include <cstdint>

// The one open port of the direct link, or null.
extern generic_port* direct_port;
// The answer being decoded, or the last one decoded; written by HandInts only.
extern RxFrame rx_frame;
// Tick at which HandInts saw the previous byte; 0 at start.
extern uint32_t last_byte_tick;

// A copy of the last acknowledged answer. HandInts fills it only while the port's
// msg_complete is 0 and sets msg_complete afterwards, so the waiting thread can read it
// without racing the next frame.
struct AcknowledgedAnswer {
    uint8_t bytes[kRxFrameCapacity];
    int32_t length;
};
extern AcknowledgedAnswer acked_answer;
