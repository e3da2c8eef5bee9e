// The call's Status texts and outcomes, the failed-connect line, and the
// parameter block of the data call.
#include "telephony/CallParams.h"
#include "telephony/CallStateText.h"
#include "telephony/TapiValues.h"
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace TapiValue;

uint32_t Field(const std::vector<uint8_t>& block, size_t offset) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<uint32_t>(block[offset + i]) << (8 * i);
    return value;
}

TEST(CallStates, EachStateHasItsLinesAndAction) {
    const CallStateRow* busy = FindCallState(kCallStateBusy);
    ASSERT_NE(busy, nullptr);
    EXPECT_STREQ(busy->status, "Line is busy");
    EXPECT_EQ(busy->action, CallStateAction::Stop);
    const CallStateRow* offered = FindCallState(kCallStateOffering);
    ASSERT_NE(offered, nullptr);
    EXPECT_EQ(offered->status, nullptr); // answered without a Status line
    EXPECT_EQ(offered->action, CallStateAction::Answer);
    EXPECT_EQ(FindCallState(kCallStateConnected)->action, CallStateAction::Connect);
    // Compared as a whole: two states at once, or none, are not handled.
    EXPECT_EQ(FindCallState(kCallStateIdle | kCallStateBusy), nullptr);
    EXPECT_EQ(FindCallState(0), nullptr);
    EXPECT_EQ(FindCallState(0x400), nullptr); // on hold
}

TEST(CallStates, DisconnectModesComparedAsAWhole) {
    EXPECT_STREQ(DisconnectModeText(kDisconnectNormal), "Remote Party Disconnected");
    EXPECT_STREQ(DisconnectModeText(kDisconnectNoDialTone), "Disconnected: No Dial Tone");
    EXPECT_STREQ(DisconnectModeText(kDisconnectBusy | kDisconnectNoAnswer),
                 "Disconnected: LINECALLSTATE; Bad Reason");
    EXPECT_STREQ(DisconnectModeText(0), "Disconnected: LINECALLSTATE; Bad Reason");
    EXPECT_STREQ(DisconnectModeText(0x2000), "Disconnected: LINECALLSTATE; Bad Reason");
}

TEST(CallStates, HowAnEndCounts) {
    EXPECT_EQ(CallEndOf(kCallStateBusy, 0), CallEnd::Busy);
    EXPECT_EQ(CallEndOf(kCallStateDisconnected, kDisconnectBusy), CallEnd::Busy);
    EXPECT_EQ(CallEndOf(kCallStateDisconnected, kDisconnectNoAnswer), CallEnd::NoAnswer);
    EXPECT_EQ(CallEndOf(kCallStateDisconnected, kDisconnectBusy | kDisconnectNoAnswer),
              CallEnd::Dropped);
    EXPECT_EQ(CallEndOf(kCallStateIdle, kDisconnectBusy), CallEnd::Dropped);
    EXPECT_EQ(CallEndOf(kCallStateSpecialInfo, 0), CallEnd::Dropped);
}

TEST(FailedToConnect, OverlongNumbersAreCutToFit) {
    EXPECT_EQ(FailedToConnectText("5551234"), "Failed to Connect to '5551234'");
    EXPECT_EQ(FailedToConnectText(""), "Failed to Connect to ''");
    for (size_t length : {270u, 276u, 277u, 278u, 299u, 300u, 5000u}) {
        std::string number(length, '7');
        std::string text = FailedToConnectText(number);
        EXPECT_LE(text.size(), kFailedToConnectRoom - 1) << length;
        EXPECT_EQ(text.back(), '\'') << length;
        EXPECT_EQ(text.compare(0, 22, "Failed to Connect to '"), 0);
        if (length <= 276) {
            EXPECT_EQ(text.size(), 23 + length);
        }
    }
}

TEST(CallParams, FixedFieldsThenTheDialString) {
    const char* dial = "9W5551234";
    size_t size = CallParamsSize(dial);
    EXPECT_EQ(size, 176u + 9 + 1);
    // Pre-filled with a pattern: the program's own block comes zero-filled,
    // so any field this leaves alone is visible.
    std::vector<uint8_t> block(size + 8, 0);
    ASSERT_TRUE(FillCallParams(block.data(), block.size(), dial));
    EXPECT_EQ(Field(block, kCallParamsBearerModeOffset), kBearerModeVoice);
    EXPECT_EQ(Field(block, kCallParamsMediaModeOffset), kMediaModeDataModem);
    EXPECT_EQ(Field(block, kCallParamsFlagsOffset), kCallParamFlagsIdle);
    EXPECT_EQ(Field(block, kCallParamsAddressModeOffset), kAddressModeAddressId);
    EXPECT_EQ(Field(block, kCallParamsDisplayableSizeOffset), 10u);
    EXPECT_EQ(Field(block, kCallParamsDisplayableOffsetOffset), 176u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&block[176])), dial);
    // Everything else stays as it was: total size (set by whoever made the
    // block), rates, dialling parameters, addresses, time-out.
    for (size_t offset = 0; offset < 176; offset += 4) {
        bool set = offset == kCallParamsBearerModeOffset || offset == kCallParamsMediaModeOffset ||
                   offset == kCallParamsFlagsOffset || offset == kCallParamsAddressModeOffset ||
                   offset == kCallParamsDisplayableSizeOffset ||
                   offset == kCallParamsDisplayableOffsetOffset;
        if (!set) {
            EXPECT_EQ(Field(block, offset), 0u) << offset;
        }
    }
}

TEST(CallParams, NullDialIsEmptyAndShortBlocksAreRefused) {
    EXPECT_EQ(CallParamsSize(nullptr), 177u);
    std::vector<uint8_t> block(177, 0xEE);
    std::vector<uint8_t> untouched = block;
    EXPECT_FALSE(FillCallParams(block.data(), 176, nullptr));
    EXPECT_FALSE(FillCallParams(nullptr, 500, "1"));
    EXPECT_EQ(block, untouched);
    std::fill(block.begin(), block.end(), 0);
    ASSERT_TRUE(FillCallParams(block.data(), block.size(), nullptr));
    EXPECT_EQ(Field(block, kCallParamsDisplayableSizeOffset), 1u);
    EXPECT_EQ(block[176], 0);
}

} // namespace
