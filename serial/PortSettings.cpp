// Normalisation of the caller's port configuration and the character-time table.
#include "serial/PortSettings.h"

namespace serial {

uint16_t NormalisedTimeout(uint16_t configured) {
    return configured == 0 || configured > kMaxTimeout ? kMaxTimeout : configured;
}

uint16_t ClampedRxSize(uint16_t configured) {
    if (configured < kMinRxSize)
        return kMinRxSize;
    return configured > kMaxRxSize ? kMaxRxSize : configured;
}

uint32_t WriteTotalMultiplier(uint16_t char_timeout) {
    return char_timeout < 60 ? 60 : char_timeout;
}

bool ParityFromConfig(int32_t value, Parity* parity) {
    switch (value) {
    case SC_PARITY_EVEN:
        *parity = Parity::Even;
        return true;
    case SC_PARITY_ODD:
        *parity = Parity::Odd;
        return true;
    case SC_PARITY_NONE:
        *parity = Parity::None;
        return true;
    default:
        return false;
    }
}

bool StopBitsFromConfig(int32_t value, StopBits* stop_bits) {
    switch (value) {
    case 1:
        *stop_bits = StopBits::One;
        return true;
    case 2:
        *stop_bits = StopBits::Two;
        return true;
    default:
        return false;
    }
}

uint32_t CharTimeMicros(uint32_t baud_rate) {
    static const struct {
        uint32_t baud;
        uint32_t micros;
    } table[] = {{110, 72727}, {300, 26666}, {600, 13333}, {1200, 6666}, {2400, 3333},
                 {4800, 1666}, {9600, 833},  {14400, 555}, {19200, 416}, {38400, 208},
                 {56000, 142}, {57600, 138}, {115200, 69}, {128000, 62}, {256000, 31}};
    for (const auto& row : table)
        if (row.baud == baud_rate)
            return row.micros;
    return 0;
}

} // namespace serial
