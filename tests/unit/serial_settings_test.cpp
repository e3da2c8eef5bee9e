// Port configuration normalisation, status texts, line error codes and the port table.
#include "serial/PortSettings.h"
#include "serial/PortState.h"
#include "serial/StatusText.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

TEST(SerialSettings, TimeoutsAndSizesAreNormalised) {
    struct {
        uint16_t in, timeout, rx_size;
    } cases[] = {{0, 60000, 1024},      {1, 1, 1024},          {100, 100, 1024},
                 {1024, 1024, 1024},    {2048, 2048, 2048},    {32767, 32767, 32767},
                 {40000, 40000, 32767}, {60000, 60000, 32767}, {60001, 60000, 32767},
                 {65000, 60000, 32767}, {65535, 60000, 32767}};
    for (const auto& c : cases) {
        EXPECT_EQ(serial::NormalisedTimeout(c.in), c.timeout) << c.in;
        EXPECT_EQ(serial::ClampedRxSize(c.in), c.rx_size) << c.in;
    }
    EXPECT_EQ(serial::WriteTotalMultiplier(30), 60u);
    EXPECT_EQ(serial::WriteTotalMultiplier(60), 60u);
    EXPECT_EQ(serial::WriteTotalMultiplier(2000), 2000u);
}

TEST(SerialSettings, OnlyDocumentedParityAndStopBitsAreAccepted) {
    serial::Parity parity;
    serial::StopBits stop;
    struct {
        int32_t value;
        bool parity_ok, stop_ok;
    } cases[] = {{-1, false, false}, {0, true, false},  {1, true, true},
                 {2, true, true},    {3, false, false}, {INT_MIN, false, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(serial::ParityFromConfig(c.value, &parity), c.parity_ok) << c.value;
        EXPECT_EQ(serial::StopBitsFromConfig(c.value, &stop), c.stop_ok) << c.value;
    }
    ASSERT_TRUE(serial::ParityFromConfig(2, &parity));
    EXPECT_EQ(parity, serial::Parity::None);
    ASSERT_TRUE(serial::StopBitsFromConfig(2, &stop));
    EXPECT_EQ(stop, serial::StopBits::Two);
}

TEST(SerialSettings, CharacterTimeOfEachBaudRate) {
    struct {
        uint32_t baud, micros;
    } cases[] = {{110, 72727}, {9600, 833}, {19200, 416}, {115200, 69},
                 {256000, 31}, {7200, 0},   {0, 0},       {230400, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(serial::CharTimeMicros(c.baud), c.micros) << c.baud;
}

std::string Formatted(int32_t code) {
    char text[40];
    std::memset(text, 'x', sizeof text);
    SCFormatErrorMessage(code, text);
    EXPECT_NE(std::memchr(text, 0, sizeof text), nullptr);
    return text;
}

TEST(SerialStatus, EveryCodeHasItsText) {
    const char* expected[] = {"OK",
                              "Invalid serial port",
                              "Invalid baud rate",
                              "Invalid number of bits",
                              "Invalid number of stop bits",
                              "Invalid parity",
                              "Invalid irq",
                              "Serial port already in use",
                              "Invalid buffer size",
                              "Memory not enough",
                              "Tx buffer empty",
                              "Tx buffer full",
                              "Rx buffer empty",
                              "Rx buffer full",
                              "Timeout waiting CTS",
                              "Timeout waiting start a message",
                              "Timeout waiting a message to finish",
                              "Timeout between rx char",
                              "Timeout between tx char",
                              "No carrier detected",
                              "No DSR detected",
                              "Could not find a 8250 in address",
                              "Can not send tx message",
                              "User abort",
                              "Function not supported",
                              "Overrun",
                              "Parity",
                              "Overrun and parity",
                              "Framing",
                              "Framing and overrun",
                              "Framing and parity",
                              "Framing, overrun and parity",
                              "Timeout waiting a tx message to finish"};
    for (int32_t code = 0; code >= -32; --code)
        EXPECT_EQ(Formatted(code), expected[-code]) << code;
    struct {
        int32_t code;
        const char* text;
    } others[] = {{-33, "Status: -33"},
                  {1, "Status: 1"},
                  {INT_MIN, "Status: -2147483648"},
                  {INT_MAX, "Status: 2147483647"}};
    for (const auto& c : others)
        EXPECT_EQ(Formatted(c.code), c.text);
}

TEST(SerialStatus, LineErrorFlagsGiveTheirCode) {
    struct {
        bool framing, overrun, parity;
        int32_t code;
    } cases[] = {{true, true, true, -31},   {true, true, false, -29},  {true, false, true, -30},
                 {true, false, false, -28}, {false, true, true, -27},  {false, true, false, -25},
                 {false, false, true, -26}, {false, false, false, -24}};
    for (const auto& c : cases)
        EXPECT_EQ(serial::LineErrorCode(c.framing, c.overrun, c.parity), c.code);
}

// The device reports its flags as one mask; bits beside the three line errors (receive
// queue overflow 0x1, break 0x10, ...) must neither hide nor fake one.
TEST(SerialStatus, DeviceFlagsOnReceptionAndOnFailure) {
    struct {
        uint32_t flags;
        int32_t received; // status that arriving data sets
        int32_t failed;   // status of a read or write that failed
    } cases[] = {
        {0, 0, -24},
        {0x0001 | 0x0010 | 0x0100, 0, -24},
        {0x0002, -25, -25},
        {0x0004, -26, -26},
        {0x0006, -27, -27},
        {0x0008, -28, -28},
        {0x000A, -29, -29},
        {0x000C, -30, -30},
        {0x000E, -31, -31},
        {0x0008 | 0x0010, -28, -28},
        {0xFFFFFFFF, -31, -31},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(serial::ReceptionError(c.flags), c.received) << std::hex << c.flags;
        EXPECT_EQ(serial::FailureError(c.flags), c.failed) << std::hex << c.flags;
    }
}

TEST(SerialPortTable, FreeIndexesAndAllocation) {
    EXPECT_EQ(SCIsPortFree(-1), 0);
    EXPECT_EQ(SCIsPortFree(8), 0);
    EXPECT_EQ(SCIsPortFree(0), 1);
    EXPECT_EQ(SCIsPortFree(7), 1);
    EXPECT_EQ(SCAlloc(-1, 4), nullptr);
    EXPECT_EQ(SCAlloc(4, -1), nullptr);
    if (sizeof(void*) == 4) {
        EXPECT_EQ(SCAlloc(0x10000, 0x10001), nullptr); // would wrap to a 64 KiB block
    }
    void* block = SCAlloc(16, 4);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0, 64);
    SCFree(block);
    generic_port port{};
    SCInstallUserRoutine(&port, nullptr);
    EXPECT_EQ(port.user_routine, &SCUserRoutineDefault);
    SCInstallUserRoutine(nullptr, nullptr); // no effect, no crash
}

} // namespace
