// The main dialog's small rules: Delay range, status lines, port names,
// integer fields, enable states and the Windows kind.
#include "shell/TextFormat.h"
#include "console/DialogRules.h"
#include "console/WindowsKind.h"
#include <gtest/gtest.h>

TEST(DialogRules, DelayIsClampedTo30Through255) {
    const int cases[][2] = {{10, 30},   {29, 30},   {30, 30}, {31, 31}, {255, 255},
                            {256, 255}, {999, 255}, {-5, 30}, {0, 30},  {2147483647, 255}};
    for (const auto& c : cases)
        EXPECT_EQ(ClampDelay(c[0]), c[1]) << c[0];
}

TEST(DialogRules, StatusLineDropsOneTrailingLineFeed) {
    EXPECT_EQ(StatusLineText("Ready\n"), "Ready");
    EXPECT_EQ(StatusLineText("Ready\n\n"), "Ready\n");
    EXPECT_EQ(StatusLineText("Ready\r\n"), "Ready\r");
    EXPECT_EQ(StatusLineText(""), "");
    EXPECT_EQ(StatusLineText("\n"), "");
    EXPECT_FALSE(StatusLogIsFull(16383));
    EXPECT_TRUE(StatusLogIsFull(16384));
}

TEST(DialogRules, PortNumberFromListEntry) {
    EXPECT_EQ(PortNumberFromName("COM1"), 1);
    EXPECT_EQ(PortNumberFromName("COM8"), 8);
    EXPECT_EQ(PortNumberFromName("COM12"), 12);
    EXPECT_EQ(PortNumberFromName("COM"), 0);
    EXPECT_EQ(PortNumberFromName(""), 0);
    EXPECT_EQ(PortNumberFromName("COMx"), 0);
}

TEST(DialogRules, IntegerFieldAcceptsOnlyWholeIntegers) {
    const struct {
        const char* text;
        bool ok;
        int value;
    } cases[] = {
        {"30", true, 30},
        {" 45 ", true, 45},
        {"-3", true, -3},
        {"+7", true, 7},
        {"", false, 0},
        {"abc", false, 0},
        {"12x", false, 0},
        {"1 2", false, 0},
        {"-", false, 0},
        {"2147483647", true, 2147483647},
        {"2147483648", false, 0},
        {"-2147483648", true, -2147483647 - 1},
        {"99999999999999999999", false, 0},
    };
    for (const auto& c : cases) {
        int value = -99;
        EXPECT_EQ(ParseIntegerField(c.text, value), c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : -99) << c.text;
    }
}

TEST(DialogRules, EnableStates) {
    EnabledControls idleModem = ComputeEnabledControls(false, 0, false, true);
    EXPECT_TRUE(idleModem.dial);
    EXPECT_FALSE(idleModem.hangup);
    EXPECT_TRUE(idleModem.lineList && idleModem.numbers && idleModem.credentials);
    EXPECT_FALSE(idleModem.portList || idleModem.delay);

    EnabledControls idleDirect = ComputeEnabledControls(false, 1, false, true);
    EXPECT_TRUE(idleDirect.portList && idleDirect.delay && idleDirect.credentials);
    EXPECT_FALSE(idleDirect.lineList || idleDirect.numbers);

    EnabledControls busy = ComputeEnabledControls(true, 0, true, true);
    EXPECT_TRUE(busy.hangup);
    EXPECT_FALSE(busy.dial || busy.credentials || busy.lineList || busy.numbers);

    EXPECT_FALSE(ComputeEnabledControls(false, 1, false, false).dial);
}

TEST(WindowsKind, VersionTable) {
    const struct {
        bool ok;
        unsigned platform, major, minor;
        int kind;
    } cases[] = {
        {true, 0, 3, 1, 7},  {true, 1, 4, 0, 1},  {true, 1, 4, 10, 2}, {true, 1, 4, 90, 3},
        {true, 1, 4, 20, 0}, {true, 2, 3, 51, 4}, {true, 2, 4, 0, 4},  {true, 2, 5, 0, 5},
        {true, 2, 5, 1, 6},  {true, 2, 5, 2, 0},  {true, 2, 10, 0, 0}, {false, 1, 4, 10, 0},
        {true, 3, 10, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClassifyWindowsKind(c.ok, c.platform, c.major, c.minor), c.kind)
            << c.platform << " " << c.major << "." << c.minor;
    EXPECT_TRUE(UsesDirectCableProgram(2));
    EXPECT_FALSE(UsesDirectCableProgram(6));
    EXPECT_FALSE(UsesDirectCableProgram(0));
}

TEST(TextFormat, FillsIntegersAndNeverReadsMissingArguments) {
    EXPECT_EQ(FormatIntegers("in %d seconds", {45}), "in 45 seconds");
    EXPECT_EQ(FormatIntegers("Only %d of %d bytes were written !", {3, 10}),
              "Only 3 of 10 bytes were written !");
    EXPECT_EQ(FormatIntegers("Error writing bytes = %ld", {-5}), "Error writing bytes = -5");
    EXPECT_EQ(FormatIntegers("100%% in %d s", {30}), "100% in 30 s");
    EXPECT_EQ(FormatIntegers("%s and %d and %d", {1}), "%s and 1 and %d");
    EXPECT_EQ(FormatIntegers("trailing %", {1}), "trailing %");
}
