// Dialling in parts: the stop set a line's capabilities give, its growth on a
// dial error, and the split of a number at pause characters.
#include "telephony/DialPlan.h"
#include "telephony/TapiValues.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace TapiValue;

const uint32_t kAllCaps = kDevCapDialBilling | kDevCapDialQuiet | kDevCapDialDialTone;

// Every part of dial in order, as "text|pause" ("text|" when none).
std::vector<std::string> Split(const std::string& dial, const StopSet& stops) {
    std::vector<std::string> parts;
    size_t position = 0;
    do {
        DialPart part = NextDialPart(dial, position, stops);
        parts.push_back(part.text + "|" + (part.pause ? std::string(1, part.pause) : ""));
        EXPECT_TRUE(part.next > position || dial.empty()) << dial;
        position = part.next;
    } while (position < dial.size());
    return parts;
}

TEST(StopSet, FollowsTheMissingCapabilities) {
    struct Case {
        uint32_t flags;
        const char* expected;
    } cases[] = {
        {kAllCaps, "?"},
        {0, "$Ww@?"},
        {kDevCapDialDialTone, "$@?"},
        {kDevCapDialBilling | kDevCapDialQuiet, "Ww?"},
        {0xFFFFFFFFu, "?"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StopSet::ForDevCapFlags(c.flags).Characters(), c.expected) << std::hex << c.flags;
}

TEST(StopSet, GrowsOnlyByNewCharacters) {
    StopSet stops = StopSet::ForDevCapFlags(kAllCaps);
    EXPECT_TRUE(stops.Grow(kLineErrDialDialTone));
    EXPECT_EQ(stops.Characters(), "?Ww");
    // The same answer again has nothing left to add: dialling must not go round.
    EXPECT_FALSE(stops.Grow(kLineErrDialDialTone));
    EXPECT_FALSE(stops.Grow(kLineErrDialPrompt));
    EXPECT_TRUE(stops.Grow(kLineErrDialBilling));
    EXPECT_TRUE(stops.Grow(kLineErrDialQuiet));
    EXPECT_EQ(stops.Characters(), "?Ww$@");
    // Errors that name no pause character add nothing.
    EXPECT_FALSE(stops.Grow(0x80000001u));
    EXPECT_FALSE(stops.Grow(0));
    for (int i = 0; i < 1000; ++i)
        stops.Grow(kLineErrDialDialTone);
    EXPECT_EQ(stops.Characters().size(), 5u);
    EXPECT_FALSE(stops.Contains('\0'));
}

TEST(DialPlan, SplitsAtStopCharactersOnly) {
    StopSet noDialTone = StopSet::ForDevCapFlags(kDevCapDialBilling | kDevCapDialQuiet);
    StopSet all = StopSet::ForDevCapFlags(kAllCaps);
    struct Case {
        const char* dial;
        const StopSet& stops;
        std::vector<std::string> expected;
    } cases[] = {
        {"5551234", all, {"5551234|"}},
        {"9W5551234", all, {"9W5551234|"}},
        {"9W5551234", noDialTone, {"9;|W", "5551234|"}},
        {"9w555?12", noDialTone, {"9;|w", "555;|?", "12|"}},
        {"5551234?", all, {"5551234;|?"}},
        {"?", all, {";|?"}},
        {"1??2", all, {"1;|?", ";|?", "2|"}},
        {"$1@2", StopSet::ForDevCapFlags(0), {";|$", "1;|@", "2|"}},
        {"", all, {"|"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Split(c.dial, c.stops), c.expected) << c.dial;
}

TEST(DialPlan, PromptsNameEachPauseCharacter) {
    EXPECT_STREQ(PausePrompt('$'), "Wait for the credit card bong tone");
    EXPECT_STREQ(PausePrompt('W'), "Wait for the second dial tone");
    EXPECT_STREQ(PausePrompt('w'), "Wait for the second dial tone");
    EXPECT_STREQ(PausePrompt('@'), "Wait for the remote end to answer");
    EXPECT_STREQ(PausePrompt('?'), "Press OK when you are ready to continue dialing");
    EXPECT_STREQ(PausePrompt('5'), "");
    EXPECT_TRUE(IsPauseDialError(kLineErrDialPrompt));
    EXPECT_FALSE(IsPauseDialError(0x8000005Cu)); // voice detect is no pause
}

} // namespace
