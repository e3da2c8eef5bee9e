// Login frames as the station receives them, and reply blocks as it sends them.
#include "console/StationProtocol.h"
#include <gtest/gtest.h>

using Bytes = std::vector<uint8_t>;

namespace {

Bytes Frame(LoginFields fields) {
    Bytes out;
    EXPECT_TRUE(BuildLoginFrame(fields, out));
    return out;
}

std::vector<int> Parse(int& state, Bytes block) {
    return ParseReplyBlock(state, block.data(), static_cast<int>(block.size()));
}

} // namespace

TEST(LoginFrame, DirectAndModemFormsOfTheWorkedExample) {
    LoginFields f{"12", "ab", "", "D", 30, true};
    EXPECT_EQ(Frame(f),
              (Bytes{0x10, 0x31, 0x32, 0x10, 0x61, 0x62, 0x10, 0x10, 0x44, 0x10, 0x1E, 0x10}));
    f.direct = false;
    EXPECT_EQ(Frame(f), (Bytes{0x10, 0x31, 0x32, 0x10, 0x61, 0x62, 0x10, 0x10, 0x44, 0x10}));
}

TEST(LoginFrame, EmptyFields) {
    EXPECT_EQ(Frame({"", "", "", "", 30, false}), (Bytes{0x10, 0x10, 0x10, 0x10, 0x10}));
    EXPECT_EQ(Frame({"", "", "", "", 30, true}), (Bytes{0x10, 0x10, 0x10, 0x10, 0x10, 0x1E, 0x10}));
}

TEST(LoginFrame, BytesAreCopiedUnescapedAndTheDelayKeepsItsLowByte) {
    Bytes frame = Frame({"\x10", "\xE9t\xE9", "", "", 300, true});
    EXPECT_EQ(frame, (Bytes{0x10, 0x10, 0x10, 0xE9, 0x74, 0xE9, 0x10, 0x10, 0x10, 0x2C, 0x10}));
}

TEST(LoginFrame, RefusesWhatDoesNotFitTheCapacity) {
    std::string half(1020, 'x');
    Bytes out{0x55};
    // 7 + 2041 bytes fill the capacity exactly; one more does not fit.
    EXPECT_TRUE(BuildLoginFrame({half, half, "a", "", 30, true}, out));
    EXPECT_EQ(out.size(), kFrameCapacity);
    EXPECT_FALSE(BuildLoginFrame({half, half, "ab", "", 30, true}, out));
    EXPECT_TRUE(out.empty());
    // The modem frame has no delay byte, so the same texts fit there.
    EXPECT_TRUE(BuildLoginFrame({half, half, "abc", "", 30, false}, out));
    EXPECT_EQ(out.size(), kFrameCapacity);
}

TEST(ReplyParser, EachCodeGivesItsLine) {
    const struct {
        Bytes block;
        std::vector<int> lines;
    } cases[] = {
        {{0x10, 0x00}, {kReplyConnectedTo}},
        {{0x10, 0x01}, {kReplyInvalidUser}},
        {{0x10, 0x02}, {kReplyInvalidPassword}},
        {{0x10, 0x06}, {kReplyCommandExecuted}},
        {{0x06, 0x10, 0x02}, {kReplyInvalidPassword}},
        {{0x10, 0x00, 0x06}, {kReplyConnectedTo, kReplyCommandExecuted}},
        {{0x10, 0x10, 0x01}, {kReplyInvalidUser}},
        {{0x10, 0x03, 0x05, 0x07, 0xFF}, {}},
        {{0x00, 0x01, 0x02, 0x06}, {}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        int state = 0;
        EXPECT_EQ(Parse(state, c.block), c.lines);
    }
}

TEST(ReplyParser, StateCarriesOverBetweenBlocks) {
    int state = 0;
    EXPECT_TRUE(Parse(state, {0x10}).empty());
    EXPECT_EQ(state, 1);
    EXPECT_EQ(Parse(state, {0x02}), (std::vector<int>{kReplyInvalidPassword}));
    EXPECT_EQ(state, 1);
}

TEST(ReplyParser, NegativeCountReadsNothing) {
    int state = 0;
    uint8_t block[] = {0x10, 0x01};
    EXPECT_TRUE(ParseReplyBlock(state, block, -5).empty());
    EXPECT_EQ(state, 0);
}
