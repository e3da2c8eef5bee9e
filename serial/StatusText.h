// Status codes as texts, and line error flags as status codes.
#pragma once

#include <cstdint>

namespace serial {

// The text of a status code, or null for a code outside -32..0.
const char* StatusText(int32_t code);
// -24..-31 from the device's framing, overrun and parity error flags.
int32_t LineErrorCode(bool framing, bool overrun, bool parity);

} // namespace serial
