// Shared pieces of the serial library's Win32 glue: handle access and line errors.
#pragma once

#include "serial/PortState.h"
#include "serial/StatusText.h"

#include <windows.h>

static_assert(sizeof(sc_overlapped) == sizeof(OVERLAPPED), "sc_overlapped mirrors OVERLAPPED");
static_assert(offsetof(sc_overlapped, event) == offsetof(OVERLAPPED, hEvent),
              "sc_overlapped mirrors OVERLAPPED");

static_assert(serial::kLineOverrun == CE_OVERRUN && serial::kLineParity == CE_RXPARITY &&
                  serial::kLineFraming == CE_FRAME,
              "line error flags mirror the system's");

namespace serial {

inline HANDLE DeviceOf(const generic_port* port) {
    return static_cast<HANDLE>(port->comm_handle);
}
inline OVERLAPPED* AsOverlapped(sc_overlapped* record) {
    return reinterpret_cast<OVERLAPPED*>(record);
}
// Reads and clears the device's error flags.
uint32_t LineFlagsOf(HANDLE device);
// Reads and clears the device's error flags; the status code of a failure they stand for.
int32_t LineErrorOf(HANDLE device);
// Gives up a write that is still under way (purged and cancelled, then up to a second for
// the system to let go of it). True when no write holds the send record or its bytes any
// more; false leaves the record and the bytes with the system.
bool AbortPendingWrite(generic_port* port);
// Busy-waits about the given number of microseconds (a character time is often far below
// the millisecond that Sleep can do).
void SpinMicros(uint32_t micros);

} // namespace serial
