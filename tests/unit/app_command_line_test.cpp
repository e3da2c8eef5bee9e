// Command-line splitting and the option table, as an operator types them.
#include "app/CommandLine.h"
#include <gtest/gtest.h>

namespace {

ConnectionParameters Apply(const char* tail) {
    std::vector<std::string> tokens;
    SplitCommandLine(tail, tokens);
    ConnectionParameters params;
    ApplyCommandLine(params, tokens);
    return params;
}

std::vector<std::string> Split(const char* tail) {
    std::vector<std::string> tokens;
    SplitCommandLine(tail, tokens);
    return tokens;
}

} // namespace

TEST(SplitCommandLine, OnlyTheSpaceSeparatesAndNoTokenIsEmpty) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Split(nullptr), V{});
    EXPECT_EQ(Split(""), V{});
    EXPECT_EQ(Split("   "), V{});
    EXPECT_EQ(Split("  a   b  "), (V{"a", "b"}));
    EXPECT_EQ(Split("a\tb c"), (V{"a\tb", "c"}));
    EXPECT_EQ(Split("/USER:\"John Smith\""), (V{"/USER:\"John", "Smith\""}));
}

TEST(SplitCommandLine, AppendsToWhatTheListHolds) {
    std::vector<std::string> tokens{"first"};
    SplitCommandLine("second", tokens);
    EXPECT_EQ(tokens, (std::vector<std::string>{"first", "second"}));
}

TEST(ApplyCommandLine, NoArgumentsKeepsTheDefaults) {
    ConnectionParameters p = Apply("");
    EXPECT_EQ(p.m_strDialNumber, "");
    EXPECT_EQ(p.m_strUsername, "");
    EXPECT_EQ(p.m_nPreferredLine, 0);
    EXPECT_EQ(p.m_bAutoDial, 0);
    EXPECT_EQ(p.m_bAutoClose, 0);
    EXPECT_EQ(p.m_nDelay, 30);
    EXPECT_EQ(p.m_nTypeRadio, 1);
}

TEST(ApplyCommandLine, TextOptionsMatchAnyCaseAndKeepTheValueAsTyped) {
    ConnectionParameters p =
        Apply("/user:Alice /Dial:9:123 /MYNUMBER:42 /pass:S3cret /DoMaIn:Office");
    EXPECT_EQ(p.m_strUsername, "Alice");
    EXPECT_EQ(p.m_strDialNumber, "9:123");
    EXPECT_EQ(p.m_strMyNumber, "42");
    EXPECT_EQ(p.m_strPassword, "S3cret");
    EXPECT_EQ(p.m_strDomain, "Office");
}

TEST(ApplyCommandLine, LastOccurrenceWinsAndEmptyValuesAreStored) {
    EXPECT_EQ(Apply("/DIAL:555 /DIAL:666").m_strDialNumber, "666");
    EXPECT_EQ(Apply("/DIAL:555 /DIAL:").m_strDialNumber, "");
}

TEST(ApplyCommandLine, TheOptionMustBeginTheToken) {
    EXPECT_EQ(Apply("x/DIAL:555").m_strDialNumber, "");
    EXPECT_EQ(Apply("/DIAL555").m_strDialNumber, "");
}

TEST(ApplyCommandLine, QuotesAreOrdinaryCharacters) {
    ConnectionParameters p = Apply("/USER:\"John Smith\"");
    EXPECT_EQ(p.m_strUsername, "\"John");
}

TEST(ApplyCommandLine, FlagsIgnoreWhatFollowsTheirName) {
    ConnectionParameters p = Apply("/AutoDialNow /autoclose");
    EXPECT_EQ(p.m_bAutoDial, 1);
    EXPECT_EQ(p.m_bAutoClose, 1);

    ConnectionParameters tabbed = Apply("/AUTODIAL\t/AUTOCLOSE");
    EXPECT_EQ(tabbed.m_bAutoDial, 1);
    EXPECT_EQ(tabbed.m_bAutoClose, 0);
}

TEST(ApplyCommandLine, ModemIndexReadsLeadingDigits) {
    const struct {
        const char* tail;
        int index;
    } cases[] = {
        {"/MODEM:2", 2},
        {"/MODEM:2x", 2},
        {"/MODEM:", 0},
        {"/MODEM:abc", 0},
        {"/MODEM:-1", -1},
        {"/MODEM:+7", 7},
        {"/modem:\t3", 3},
        {"/MODEM:99999999999", 2147483647},
        {"/MODEM:-99999999999", -2147483647 - 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Apply(c.tail).m_nPreferredLine, c.index) << c.tail;
}

TEST(ApplyCommandLine, ProfileOptionTakesAPath) {
    EXPECT_EQ(Apply("/profile:C:\\Sites\\north.cfg /AUTODIAL").m_strProfilePath,
              "C:\\Sites\\north.cfg");
}

TEST(ApplyCommandLine, TimeoutTakesOneToThirtySixHundredSecondsOrIsRefused) {
    const struct {
        const char* tail;
        int seconds;
        int refused;
    } cases[] = {
        {"", 0, 0},
        {"/TIMEOUT:10", 10, 0},
        {"/timeout:1", 1, 0},
        {"/TIMEOUT:3600", 3600, 0},
        {"/TIMEOUT:0010", 10, 0},
        {"/TIMEOUT:0", 0, 1},
        {"/TIMEOUT:3601", 0, 1},
        {"/TIMEOUT:", 0, 1},
        {"/TIMEOUT:10s", 0, 1},
        {"/TIMEOUT:-5", 0, 1},
        {"/TIMEOUT:+5", 0, 1},
        {"/TIMEOUT:99999999999", 0, 1},
        // The last occurrence wins, a refusal included.
        {"/TIMEOUT:0 /TIMEOUT:20", 20, 0},
        {"/TIMEOUT:20 /TIMEOUT:x", 0, 1},
    };
    for (const auto& c : cases) {
        ConnectionParameters p = Apply(c.tail);
        EXPECT_EQ(p.m_nTimeout, c.seconds) << c.tail;
        EXPECT_EQ(p.m_bTimeoutRefused, c.refused) << c.tail;
    }
}

TEST(ApplyCommandLine, LogWantsAFileEvenWithAnEmptyPath) {
    ConnectionParameters p = Apply("/log:C:\\Logs\\Run:1.txt");
    EXPECT_EQ(p.m_bLogWanted, 1);
    EXPECT_EQ(p.m_strLogPath, "C:\\Logs\\Run:1.txt");

    ConnectionParameters empty = Apply("/LOG:");
    EXPECT_EQ(empty.m_bLogWanted, 1);
    EXPECT_EQ(empty.m_strLogPath, "");

    EXPECT_EQ(Apply("/LOGFILE").m_bLogWanted, 0);
    // "/PROFILE:%1" in a batch file called without an argument: a profile is still wanted.
    EXPECT_EQ(Apply("/PROFILE:").m_bProfileWanted, 1);
    EXPECT_EQ(Apply("/DIAL:1").m_bProfileWanted, 0);
}

TEST(ApplyCommandLine, QuestionMarkAndHelpAskForTheUsage) {
    for (const char* tail : {"/?", "/help", "/HELP", "/DIAL:1 /?"})
        EXPECT_EQ(Apply(tail).m_bShowUsage, 1) << tail;
    for (const char* tail : {"", "?", "x/?", "/HEL"})
        EXPECT_EQ(Apply(tail).m_bShowUsage, 0) << tail;
    // /? does not swallow the rest of the line.
    EXPECT_EQ(Apply("/? /USER:bob").m_strUsername, "bob");
}
