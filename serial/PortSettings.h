// How a port_config turns into device settings: normalised timeouts, sizes, line format.
#pragma once

#include "serial/SerialApi.h"

#include <cstdint>

namespace serial {

constexpr uint16_t kMaxTimeout = 60000;
constexpr uint16_t kMinRxSize = 1024;
constexpr uint16_t kMaxRxSize = 32767;

// start_timeout and char_timeout: 0 or above 60000 mean 60000.
uint16_t NormalisedTimeout(uint16_t configured);
uint16_t ClampedRxSize(uint16_t configured);
// Per-byte write time-out given to the device: the gap limit, at least 60 ms.
uint32_t WriteTotalMultiplier(uint16_t char_timeout);

enum class Parity { Even, Odd, None };
enum class StopBits { One, Two };
// False for values outside the documented ones; the open then fails with -1.
bool ParityFromConfig(int32_t value, Parity* parity);
bool StopBitsFromConfig(int32_t value, StopBits* stop_bits);

// Time of one character (8 bits) in microseconds for the listed baud rates, 0 for others.
uint32_t CharTimeMicros(uint32_t baud_rate);

} // namespace serial
