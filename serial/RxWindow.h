// The receive buffer of a port: appends from the receive thread, reads from the caller.
#pragma once

#include "serial/PortState.h"

#include <cstddef>
#include <cstdint>

// The held bytes always start at rx_buf (oldest first), as callers of the record expect.
// Taking a byte moves rx_buf forward instead of moving the rest down, so draining a full
// buffer costs linear time; rx_base has room for two buffers and the held bytes slide back
// to its start only when an append reaches its end. Every access holds rx_guard, so the
// receive thread and the caller never see a half-moved buffer.
namespace serial {

// Allocates the buffer for size bytes (already clamped) and its lock. False: no memory,
// nothing left allocated.
bool RxOpen(generic_port* port, uint16_t size);
void RxClose(generic_port* port);
// Forgets every held byte.
void RxClear(generic_port* port);
// Receive thread: handles a chunk in arrival order. Bytes still expected as echo of the
// last send go to the echo buffer; every other byte is appended (or dropped when the
// buffer is full), stamps the rx ticks and is announced to the user routine, which runs
// outside the lock.
void RxDeliver(generic_port* port, EchoState* echo, const uint8_t* bytes, size_t count,
               uint32_t now);
// Caller, at the start of a send: an empty buffer, no rx ticks, and the echo of length
// bytes expected when echo removal is on; all in one step against the receive thread.
void RxStartExchange(generic_port* port, EchoState* echo, int32_t length);
// Expect no more echo.
void EchoDisarm(generic_port* port, EchoState* echo);

} // namespace serial
