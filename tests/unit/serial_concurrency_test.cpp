// The receive thread's appends against the caller's reads and clears: nothing torn or lost.
#include "serial/RxWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kStreamLength = 200000;

// A broken buffer loses or invents bytes; both sides give up then instead of waiting forever.
bool PastDeadline(std::chrono::steady_clock::time_point start) {
    return std::chrono::steady_clock::now() - start > std::chrono::seconds(60);
}

struct SharedPort {
    SharedPort() { EXPECT_TRUE(serial::RxOpen(&port, 1024)); }
    ~SharedPort() { serial::RxClose(&port); }
    generic_port port{};
};

// Appends a counting byte stream in chunks, never more than there is room for.
void Produce(generic_port* port, std::atomic<bool>* done) {
    std::vector<uint8_t> chunk;
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t sent = 0; sent < kStreamLength && !PastDeadline(start);) {
        const uint32_t n = std::min<uint32_t>(1 + sent % 97, kStreamLength - sent);
        while (SCSpaceFreeInRxBuffer(port) < static_cast<int32_t>(n) && !PastDeadline(start))
            std::this_thread::yield();
        chunk.clear();
        for (uint32_t i = 0; i < n; ++i)
            chunk.push_back(static_cast<uint8_t>(sent + i));
        serial::RxDeliver(port, nullptr, chunk.data(), chunk.size(), sent + 1);
        sent += n;
    }
    done->store(true);
}

TEST(SerialRxConcurrency, ReaderSeesTheWholeStreamInOrder) {
    SharedPort shared;
    std::atomic<bool> done{false};
    std::thread producer(Produce, &shared.port, &done);
    uint32_t received = 0;
    bool in_order = true;
    const auto start = std::chrono::steady_clock::now();
    while (received < kStreamLength && !PastDeadline(start)) {
        uint8_t block[64];
        int32_t got;
        if (received % 3 == 0) {
            uint8_t byte = 0;
            got = SCReadChar(&shared.port, &byte);
            block[0] = byte;
        } else {
            got = SCReadBuffer(&shared.port, block, 64);
        }
        for (int32_t i = 0; i < got; ++i)
            in_order &= block[i] == static_cast<uint8_t>(received + static_cast<uint32_t>(i));
        received += static_cast<uint32_t>(got);
        if (got == 0)
            std::this_thread::yield();
    }
    producer.join();
    EXPECT_EQ(received, kStreamLength);
    EXPECT_TRUE(in_order);
    EXPECT_EQ(SCSpaceUsedInRxBuffer(&shared.port), 0);
}

// Clearing while bytes arrive discards bytes by design, but never corrupts what is left:
// the held bytes stay one unbroken piece of the stream.
TEST(SerialRxConcurrency, ClearsAndPeeksDuringReception) {
    SharedPort shared;
    std::atomic<bool> done{false};
    std::thread producer(Produce, &shared.port, &done);
    bool consistent = true;
    for (int round = 0; !done.load(); ++round) {
        uint8_t first = 0, second = 0;
        if (round % 5 == 0)
            serial::RxClear(&shared.port);
        else if (SCPeekChar(&shared.port, 0, &first) && SCPeekChar(&shared.port, 1, &second))
            consistent &= second == static_cast<uint8_t>(first + 1);
        uint8_t block[16];
        const int32_t got = SCReadBuffer(&shared.port, block, 16);
        for (int32_t i = 1; i < got; ++i)
            consistent &= block[i] == static_cast<uint8_t>(block[i - 1] + 1);
    }
    producer.join();
    EXPECT_TRUE(consistent);
}

} // namespace
