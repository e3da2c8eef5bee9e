// The /LOG: file's lines: stamps, first and last lines, and the password kept out.
#include "console/RunLog.h"
#include <gtest/gtest.h>

namespace {
const LocalTime kAt{2026, 12, 8, 14, 3, 5, 120};

std::string All(RunLogBook& book) {
    std::string text;
    for (const std::string& line : book.Take())
        text += line;
    return text;
}
} // namespace

TEST(StampLogLine, LocalTimeToTheMillisecondAndOneLinePerEntry) {
    EXPECT_EQ(StampLogLine(kAt, "Ready to make a call."),
              "2026-12-08 14:03:05.120 Ready to make a call.");
    EXPECT_EQ(StampLogLine({2027, 1, 2, 3, 4, 5, 6}, "a\r\nb\nc"),
              "2027-01-02 03:04:05.006 a  b c");
}

TEST(HidePassword, OnlyThePasswordStandingApartBecomesAFixedMask) {
    const struct {
        const char* text;
        const char* password;
        const char* shown;
    } cases[] = {
        {"Connected to secret", "secret", "Connected to ********"},
        {"SeCrEt and secret.", "secret", "******** and ********."},
        {"x", "xy", "x"},
        {"no password here", "", "no password here"},
        {"aaa", "aa", "aaa"},
        {"p\xe4ss\x10w", "p\xe4ss\x10w", "********"},
        // a PIN inside the dial number tells the PIN to whoever knows the number
        {"Connected to 5551234", "1234", "Connected to 5551234"},
        {"Connected to 1234", "1234", "Connected to ********"},
        {"Exit status 0: 2026-12-08", "2026", "Exit status 0: ********-12-08"},
        {"Sending username and password...", "a", "Sending username and password..."},
        {"dial a number", "a", "dial ******** number"},
        {"Warning\nline two", "Warning\nline", "******** two"},
        {"pin: *", "*", "pin: ********"},
        {"** and *x", "*", "** and ********x"},
        {"********", "********", "********"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HidePassword(c.text, c.password), c.shown) << c.text;
}

TEST(RunLogBook, LinesWaitForTheFirstLineThenFollowIt) {
    RunLogBook book;
    book.Add(kAt, "Ready to make a call.");
    EXPECT_TRUE(book.Take().empty());
    book.Begin(kAt, LogFirstLine("1.0.0.1", DescribeLink(1, "COM1")));
    book.Add(kAt, "Connected with WinCE remote station.");
    EXPECT_EQ(All(book), "2026-12-08 14:03:05.120 Farlink To WinCE 1.0.0.1, link: direct cable "
                         "on COM1\r\n"
                         "2026-12-08 14:03:05.120 Ready to make a call.\r\n"
                         "2026-12-08 14:03:05.120 Connected with WinCE remote station.\r\n");
    book.Add(kAt, LogLastLine(3, "no connection with the station"));
    EXPECT_EQ(All(book),
              "2026-12-08 14:03:05.120 Exit status 3: no connection with the station\r\n");
}

TEST(RunLogBook, EveryPasswordOfTheRunIsMaskedAlsoInLinesWrittenBeforeItWasKnown) {
    RunLogBook book;
    book.Add(kAt, "Connected to hunter2");
    book.HidePassword("hunter2");
    book.HidePassword("hunter");
    book.HidePassword("");
    book.Begin(kAt, "first");
    book.Add(kAt, "hunter hunter2");
    std::string text = All(book);
    EXPECT_EQ(text.find("hunter"), std::string::npos) << text;
    EXPECT_NE(text.find("******** ********"), std::string::npos) << text;
}

TEST(RunLogBook, TheStampAndLineBreaksNeverHideOrRevealThePassword) {
    RunLogBook book;
    book.HidePassword("2026");
    book.HidePassword("pin\r\n42");
    book.HidePassword("*");
    book.Begin(kAt, "first");
    book.Add(kAt, "box: pin\r\n42 *");
    EXPECT_EQ(All(book), "2026-12-08 14:03:05.120 first\r\n"
                         "2026-12-08 14:03:05.120 box: ******** ********\r\n");
}

TEST(DescribeLink, NamesTheChosenPortOrLine) {
    EXPECT_EQ(DescribeLink(1, "COM3"), "direct cable on COM3");
    EXPECT_EQ(DescribeLink(1, ""), "direct cable, no port chosen");
    EXPECT_EQ(DescribeLink(0, "Fax Modem"), "modem line Fax Modem");
    EXPECT_EQ(DescribeLink(0, ""), "modem, no line chosen");
}

TEST(FileVersionText, FindsTheFixedInfoOnlyWhereItFitsTheBlock) {
    // A version block: header words, then VS_FIXEDFILEINFO on a 4-byte boundary.
    std::vector<uint8_t> block(40, 0);
    const uint8_t fixed[] = {0xBD, 0x04, 0xEF, 0xFE, 0,    0,    1,    0,
                             0x02, 0x00, 0x01, 0x00, 0x04, 0x00, 0x03, 0x00};
    std::copy(std::begin(fixed), std::end(fixed), block.begin() + 8);
    EXPECT_EQ(FileVersionText(block.data(), block.size()), "1.2.3.4");
    EXPECT_EQ(FileVersionText(block.data(), 8 + 15), "") << "cut inside the version";
    EXPECT_EQ(FileVersionText(nullptr, 100), "");
    std::vector<uint8_t> odd(block.begin(), block.end());
    odd.insert(odd.begin(), 0); // off the 4-byte boundary: not the fixed info
    EXPECT_EQ(FileVersionText(odd.data(), odd.size()), "");
}
