// The timeout model: which status an answer that fails to arrive gets, and when.
#include "serial/TimeoutModel.h"

#include <gtest/gtest.h>

namespace {

struct Exchange {
    uint32_t tx_end, first_rx, last_rx;
    uint16_t start_timeout, end_timeout, char_timeout;
    int32_t msg_complete;
};

generic_port PortAfter(const Exchange& e) {
    generic_port port{};
    port.tx_end_tick = e.tx_end;
    port.first_rx_tick = e.first_rx;
    port.last_rx_tick = e.last_rx;
    port.start_timeout = e.start_timeout;
    port.end_timeout = e.end_timeout;
    port.char_timeout = e.char_timeout;
    port.msg_complete = e.msg_complete;
    port.tx_empty = 1;
    return port;
}

TEST(SerialTimeoutModel, AnswerPhase) {
    struct {
        const char* what;
        Exchange exchange;
        uint32_t now;
        int32_t status;
    } cases[] = {
        {"never sent, nothing received: gap since tick 0",
         {0, 0, 0, 2000, 2000, 2000, 0},
         100000,
         -17},
        {"waiting for the first byte", {10000, 0, 0, 2000, 0, 2000, 0}, 12000, 0},
        {"start limit reached, not passed", {10000, 0, 0, 2000, 0, 2000, 0}, 12000, 0},
        {"start limit passed", {10000, 0, 0, 2000, 0, 2000, 0}, 12001, -15},
        {"answer flowing", {10000, 10500, 11900, 2000, 0, 2000, 0}, 13000, 0},
        {"answer stopped", {10000, 10500, 11000, 2000, 0, 2000, 0}, 13001, -17},
        {"whole-message limit passed", {10000, 10500, 12400, 2000, 2000, 2000, 0}, 12501, -16},
        {"no whole-message limit when end_timeout is 0",
         {10000, 10500, 12400, 2000, 0, 2000, 0},
         14000,
         0},
        {"complete message never fails", {10000, 10500, 10600, 2000, 100, 100, 1}, 90000, 0},
        {"limits across the tick wrap", {0xFFFFFF00u, 0, 0, 2000, 0, 2000, 0}, 0x500, 0},
        {"start limit passed across the wrap", {0xFFFFFF00u, 0, 0, 2000, 0, 2000, 0}, 0x800, -15},
    };
    for (const auto& c : cases) {
        const generic_port port = PortAfter(c.exchange);
        EXPECT_EQ(serial::AnswerPhaseStatus(port, c.now), c.status) << c.what;
    }
}

TEST(SerialTimeoutModel, TransmitLimit) {
    EXPECT_FALSE(serial::TxLimitPassed(1000, 6000));
    EXPECT_TRUE(serial::TxLimitPassed(1000, 6001));
    EXPECT_FALSE(serial::TxLimitPassed(0xFFFFF000u, 0x100));
    EXPECT_TRUE(serial::TxLimitPassed(0xFFFFF000u, 0x1000 + 5000));
    EXPECT_TRUE(serial::TxEndedLate(0xFFFFF000u, 0x1000 + 5000));
    EXPECT_FALSE(serial::TxEndedLate(1000, 6000));
    EXPECT_FALSE(serial::TxEndedLate(6000, 1000)); // an empty event from before the send
}

} // namespace
