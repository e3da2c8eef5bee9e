// Receive buffer as a caller sees it: order, positions, a full buffer, echo removal.
#include "serial/RxWindow.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <vector>

namespace {

int g_routine_calls;
uint8_t g_last_seen;
void CountingRoutine(generic_port* port) {
    ++g_routine_calls;
    SCPeekLastChar(port, &g_last_seen);
}

struct RxPort {
    explicit RxPort(uint16_t size) {
        EXPECT_TRUE(serial::RxOpen(&port, size));
        port.user_routine = CountingRoutine;
        g_routine_calls = 0;
    }
    ~RxPort() { serial::RxClose(&port); }
    void Receive(std::vector<uint8_t> bytes, uint32_t now = 100) {
        serial::RxDeliver(&port, &echo, bytes.data(), bytes.size(), now);
    }
    generic_port port{};
    serial::EchoState echo{};
};

TEST(SerialRxWindow, ReadsOldestFirstAndPeeksByPosition) {
    RxPort rx(1024);
    rx.Receive({0x31, 0x32, 0x33});
    uint8_t byte = 0xff;
    ASSERT_EQ(SCReadChar(&rx.port, &byte), 1);
    EXPECT_EQ(byte, 0x31);
    struct {
        uint32_t position;
        int32_t result;
        uint8_t byte;
    } peeks[] = {{0, 1, 0x32}, {1, 1, 0x33}, {2, 0, 0}, {1000, 0, 0}};
    for (const auto& c : peeks) {
        byte = 0xff;
        EXPECT_EQ(SCPeekChar(&rx.port, c.position, &byte), c.result) << c.position;
        EXPECT_EQ(byte, c.byte) << c.position;
    }
    EXPECT_EQ(rx.port.rx_buf[0], 0x32); // the record itself shows the oldest byte first
    EXPECT_EQ(SCPeekLastChar(&rx.port, &byte), 1);
    EXPECT_EQ(byte, 0x33);
    EXPECT_EQ(SCSpaceUsedInRxBuffer(&rx.port), 2);
    EXPECT_EQ(SCSpaceFreeInRxBuffer(&rx.port), 1022);
}

TEST(SerialRxWindow, EmptyBufferAndNullPort) {
    RxPort rx(1024);
    uint8_t byte = 0xff;
    EXPECT_EQ(SCReadChar(&rx.port, &byte), 0);
    EXPECT_EQ(byte, 0);
    byte = 0xff;
    EXPECT_EQ(SCPeekLastChar(&rx.port, &byte), 0);
    EXPECT_EQ(byte, 0);
    EXPECT_EQ(SCIsRxEmpty(&rx.port), 1);
    uint8_t dest[4] = {9, 9, 9, 9};
    rx.Receive({1, 2});
    EXPECT_EQ(SCReadBuffer(&rx.port, dest, 0), 0);
    EXPECT_EQ(SCReadBuffer(&rx.port, dest, -5), 0);
    EXPECT_EQ(dest[0], 9);
    EXPECT_EQ(SCReadBuffer(&rx.port, dest, 4), 2); // partial: what is held
    EXPECT_EQ(dest[0], 1);
    EXPECT_EQ(dest[1], 2);

    EXPECT_EQ(SCIsRxEmpty(nullptr), 0);
    EXPECT_EQ(SCIsRxFull(nullptr), 0);
    EXPECT_EQ(SCSpaceUsedInRxBuffer(nullptr), 0);
    EXPECT_EQ(SCSpaceFreeInRxBuffer(nullptr), 0);
    EXPECT_EQ(SCReadChar(nullptr, &byte), 0);
    EXPECT_EQ(SCPeekChar(nullptr, 0, &byte), 0);
    EXPECT_EQ(SCReadBuffer(nullptr, dest, 4), 0);
}

TEST(SerialRxWindow, FullBufferDropsNewBytesButStillCallsRoutine) {
    RxPort rx(1024);
    std::vector<uint8_t> fill(1024);
    for (size_t i = 0; i < fill.size(); ++i)
        fill[i] = static_cast<uint8_t>(i);
    rx.Receive(fill);
    EXPECT_EQ(SCIsRxFull(&rx.port), 1);
    rx.Receive({0xAA, 0xBB});
    EXPECT_EQ(g_routine_calls, 1026);
    EXPECT_EQ(g_last_seen, static_cast<uint8_t>(1023)); // the routine sees the last stored byte
    EXPECT_EQ(SCSpaceUsedInRxBuffer(&rx.port), 1024);
    uint8_t byte = 0;
    EXPECT_EQ(SCReadChar(&rx.port, &byte), 1);
    EXPECT_EQ(byte, 0);
    rx.Receive({0xCC});
    EXPECT_EQ(SCPeekLastChar(&rx.port, &byte), 1);
    EXPECT_EQ(byte, 0xCC);
}

TEST(SerialRxWindow, TicksFollowReception) {
    RxPort rx(1024);
    rx.Receive({1}, 500);
    rx.Receive({2}, 520);
    EXPECT_EQ(rx.port.first_rx_tick, 500u);
    EXPECT_EQ(rx.port.last_rx_tick, 520u);
    serial::RxStartExchange(&rx.port, &rx.echo, 3);
    EXPECT_EQ(rx.port.first_rx_tick, 0u);
    EXPECT_EQ(rx.port.last_rx_tick, 0u);
    EXPECT_EQ(SCIsRxEmpty(&rx.port), 1);
}

TEST(SerialRxWindow, EchoOfTheSendIsTakenOut) {
    struct {
        int32_t capacity;
        int32_t sent;
        size_t received;
        int32_t echoed;
    } cases[] = {{16, 10, 11, 10}, {10, 10, 11, 10}, {4, 10, 11, 4}, {16, 0, 3, 0}};
    for (const auto& c : cases) {
        RxPort rx(1024);
        std::vector<uint8_t> echo_buffer(static_cast<size_t>(c.capacity));
        rx.echo = {1, 0, 0, c.capacity, echo_buffer.data()};
        serial::RxStartExchange(&rx.port, &rx.echo, c.sent);
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < c.received; ++i)
            bytes.push_back(static_cast<uint8_t>(0x40 + i));
        rx.Receive(bytes);
        const int32_t delivered = static_cast<int32_t>(c.received) - c.echoed;
        EXPECT_EQ(SCSpaceUsedInRxBuffer(&rx.port), delivered) << c.capacity << "/" << c.sent;
        EXPECT_EQ(g_routine_calls, delivered);
        uint8_t first = 0;
        SCPeekChar(&rx.port, 0, &first);
        EXPECT_EQ(first, 0x40 + c.echoed);
        if (c.echoed > 0) {
            EXPECT_EQ(echo_buffer[static_cast<size_t>(c.echoed) - 1], 0x40 + c.echoed - 1);
        }
    }
}

TEST(SerialRxWindow, DisabledEchoDeliversEverything) {
    RxPort rx(1024);
    uint8_t echo_buffer[8];
    rx.echo = {0, 0, 0, 8, echo_buffer};
    serial::RxStartExchange(&rx.port, &rx.echo, 5);
    rx.Receive({1, 2, 3});
    EXPECT_EQ(SCSpaceUsedInRxBuffer(&rx.port), 3);
}

// Random interleaving of appends and takes keeps the bytes and their order, with the
// record's rx_buf[0] always the oldest, including across the slide back to the start.
TEST(SerialRxWindow, MatchesAQueueUnderRandomUse) {
    RxPort rx(1024);
    std::deque<uint8_t> model;
    std::mt19937 random(7);
    uint8_t next = 0;
    for (int step = 0; step < 20000; ++step) {
        const unsigned action = random() % 4;
        if (action < 2) {
            std::vector<uint8_t> chunk(random() % 300);
            for (auto& b : chunk) {
                b = next++;
                if (model.size() < 1024)
                    model.push_back(b);
            }
            rx.Receive(chunk);
        } else if (action == 2) {
            uint8_t byte = 0;
            const int32_t got = SCReadChar(&rx.port, &byte);
            ASSERT_EQ(got, model.empty() ? 0 : 1);
            if (got) {
                ASSERT_EQ(byte, model.front());
                model.pop_front();
            }
        } else {
            uint8_t dest[200];
            const int32_t want = static_cast<int32_t>(random() % 200);
            const int32_t got = SCReadBuffer(&rx.port, dest, want);
            ASSERT_EQ(got, std::min<int32_t>(want, static_cast<int32_t>(model.size())));
            for (int32_t i = 0; i < got; ++i) {
                ASSERT_EQ(dest[i], model.front());
                model.pop_front();
            }
        }
        ASSERT_EQ(rx.port.rx_count, model.size());
        if (!model.empty()) {
            ASSERT_EQ(rx.port.rx_buf[0], model.front());
            ASSERT_EQ(rx.port.rx_buf[model.size() - 1], model.back());
        }
    }
}

} // namespace
