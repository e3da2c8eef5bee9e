// When an expected answer has failed: the timeout model as a function of the tick.
#pragma once

#include "serial/SerialApi.h"

#include <cstdint>

namespace serial {

// Longest time a transmission may take, counted from the start of the send.
constexpr uint32_t kTxLimitMs = 5000;

// Tick differences are taken modulo 2^32, so the model keeps working when the tick counter
// wraps after 49.7 days.
inline bool TxLimitPassed(uint32_t tx_start_tick, uint32_t now) {
    return now - tx_start_tick > kTxLimitMs;
}

// Answer phase (transmitter empty, status 0): -15, -16 or -17 when the answer has failed
// to start, to finish or to continue by now, else 0. A complete message never fails.
int32_t AnswerPhaseStatus(const generic_port& port, uint32_t now);

} // namespace serial
