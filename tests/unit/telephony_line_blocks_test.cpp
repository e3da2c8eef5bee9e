// Line names and the comm handle read from provider blocks, whatever the
// provider put in them.
#include "telephony/LineBlocks.h"
#include <gtest/gtest.h>
#include <cstring>
#include <vector>

namespace {

void Put(std::vector<uint8_t>& block, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        block[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A capabilities block of size bytes, filled to used, with the name bytes at
// nameAt and the name fields as given.
std::vector<uint8_t> Caps(size_t size, uint32_t used, uint32_t nameSize, uint32_t nameOffset,
                          const std::string& nameBytes, uint32_t format = 1) {
    std::vector<uint8_t> block(size, 0);
    Put(block, kTotalSizeOffset, static_cast<uint32_t>(size));
    Put(block, kUsedSizeOffset, used);
    Put(block, kDevCapsLineNameSizeOffset, nameSize);
    Put(block, kDevCapsLineNameOffsetOffset, nameOffset);
    Put(block, kDevCapsStringFormatOffset, format);
    if (nameOffset < size)
        memcpy(&block[nameOffset], nameBytes.data(), std::min(nameBytes.size(), size - nameOffset));
    return block;
}

TEST(LineNames, EveryFormAProviderMayGive) {
    using N = LineNameNote;
    const std::string modem("Modem A\0", 8);
    struct Case {
        const char* what;
        std::vector<uint8_t> block;
        const char* name;
        LineNameNote note;
    } cases[] = {
        {"NUL-terminated", Caps(400, 308, 8, 300, modem), "Modem A", N::none},
        {"counted without NUL", Caps(400, 307, 7, 300, "Modem A"), "Modem A", N::notTerminated},
        {"NUL inside", Caps(400, 308, 8, 300, std::string("Mo\0dem A", 8)), "Mo", N::none},
        {"empty", Caps(400, 301, 1, 300, std::string(1, '\0')), kLineNameEmpty, N::none},
        {"no size", Caps(400, 308, 0, 300, modem), kLineUnnamed, N::none},
        {"no offset", Caps(400, 308, 8, 0, modem), kLineUnnamed, N::none},
        {"Unicode", Caps(400, 316, 16, 300, std::string("M\0o\0\0\0", 6), 2), kLineUnnamed,
         N::none},
        {"past the filled part", Caps(400, 304, 8, 300, modem), kLineUnnamed, N::outsideBlock},
        {"offset past the block", Caps(400, 400, 8, 0x7FFFFFF0, modem), kLineUnnamed,
         N::outsideBlock},
        {"size wraps the offset", Caps(400, 400, 0xFFFFFFF0, 300, modem), kLineUnnamed,
         N::outsideBlock},
        {"used claims more than allocated", Caps(310, 5000, 20, 300, modem), kLineUnnamed,
         N::outsideBlock},
        {"block shorter than the fields", std::vector<uint8_t>(20, 0xFF), kLineUnnamed, N::none},
    };
    for (const Case& c : cases) {
        LineName name = ExtractLineName(c.block.data(), c.block.size());
        EXPECT_EQ(name.text, c.name) << c.what;
        EXPECT_EQ(name.note, c.note) << c.what;
    }
}

TEST(LineNames, DataModemDecidesTheList) {
    std::vector<uint8_t> caps = Caps(300, 300, 0, 0, "");
    Put(caps, kDevCapsMediaModesOffset, 0x4); // interactive voice only
    EXPECT_FALSE(OffersDataModem(caps.data(), caps.size()));
    Put(caps, kDevCapsMediaModesOffset, 0x14);
    EXPECT_TRUE(OffersDataModem(caps.data(), caps.size()));
    EXPECT_FALSE(OffersDataModem(caps.data(), kDevCapsMediaModesOffset + 3));
}

// A "comm/datamodem" VARSTRING with the string at offset.
std::vector<uint8_t> CommId(size_t size, uint32_t used, uint32_t stringSize, uint32_t offset,
                            const std::string& bytes) {
    std::vector<uint8_t> block(size, 0);
    Put(block, kTotalSizeOffset, static_cast<uint32_t>(size));
    Put(block, kUsedSizeOffset, used);
    Put(block, kVarStringStringSizeOffset, stringSize);
    Put(block, kVarStringStringOffsetOffset, offset);
    if (offset < size)
        memcpy(&block[offset], bytes.data(), std::min(bytes.size(), size - offset));
    return block;
}

TEST(CommHandle, TakenOnlyFromInsideTheFilledBlock) {
    const std::string handle4("\x78\x56\x34\x12"
                              "COM3\0",
                              9);
    const std::string handle8("\x08\x07\x06\x05\x04\x03\x02\x01"
                              "COM4\0",
                              13);
    struct Case {
        const char* what;
        std::vector<uint8_t> block;
        size_t handleSize;
        bool taken;
        uint64_t handle;
        const char* device;
    } cases[] = {
        {"4-byte handle", CommId(64, 33, 9, 24, handle4), 4, true, 0x12345678, "COM3"},
        {"8-byte handle", CommId(64, 37, 13, 24, handle8), 8, true, 0x0102030405060708, "COM4"},
        {"name without NUL", CommId(64, 32, 8, 24, handle4), 4, true, 0x12345678, "COM3"},
        {"handle only", CommId(64, 28, 4, 24, handle4), 4, true, 0x12345678, ""},
        {"block too small: only sizes", CommId(24, 24, 0, 0, ""), 4, false, 0, ""},
        {"string shorter than a handle", CommId(64, 27, 3, 24, handle4), 4, false, 0, ""},
        {"string past the filled part", CommId(64, 30, 9, 24, handle4), 4, false, 0, ""},
        {"offset inside the fixed part", CommId(64, 64, 9, 8, handle4), 4, false, 0, ""},
        {"offset past the block", CommId(64, 64, 9, 0xFFFFFFF8, handle4), 4, false, 0, ""},
        {"odd handle size", CommId(64, 33, 9, 24, handle4), 3, false, 0, ""},
    };
    for (const Case& c : cases) {
        uint64_t handle = 0xDEAD;
        std::string device = "unchanged";
        bool taken = ReadCommHandle(c.block.data(), c.block.size(), c.handleSize, &handle, &device);
        EXPECT_EQ(taken, c.taken) << c.what;
        if (c.taken) {
            EXPECT_EQ(handle, c.handle) << c.what;
            EXPECT_EQ(device, c.device) << c.what;
        } else {
            EXPECT_EQ(handle, 0xDEADu) << c.what;
        }
    }
}

} // namespace
