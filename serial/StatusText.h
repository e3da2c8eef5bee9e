// Status codes as texts, and line error flags as status codes.
#pragma once

#include <cstdint>

namespace serial {

// The text of a status code, or null for a code outside -32..0.
const char* StatusText(int32_t code);
// -24..-31 from the device's framing, overrun and parity error flags.
int32_t LineErrorCode(bool framing, bool overrun, bool parity);

// The device's error flags as the system reports them (CE_OVERRUN, CE_RXPARITY, CE_FRAME).
constexpr uint32_t kLineOverrun = 0x0002;
constexpr uint32_t kLineParity = 0x0004;
constexpr uint32_t kLineFraming = 0x0008;
// The line error that received data came with: -25..-31, or 0 when the flags name no framing,
// overrun or parity error (other flags, such as a break, do not count).
int32_t ReceptionError(uint32_t flags);
// Why a read or write failed, from the flags gathered around it: their line error, or -24
// when they name none.
int32_t FailureError(uint32_t flags);

} // namespace serial
