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

// A transmitter that emptied only after the limit failed the send just as one still busy at
// the limit did; which of the two a poll sees depends only on when it runs. An empty tick
// from before the send (a late event of the previous one) is not an end of this one.
inline bool TxEndedLate(uint32_t tx_start_tick, uint32_t tx_end_tick) {
    return static_cast<int32_t>(tx_end_tick - tx_start_tick) > static_cast<int32_t>(kTxLimitMs);
}

// Answer phase (transmitter empty, status 0): -15, -16 or -17 when the answer has failed
// to start, to finish or to continue by now, else 0. A complete message never fails.
int32_t AnswerPhaseStatus(const generic_port& port, uint32_t now);

} // namespace serial
