// Trace texts: flag sets, error names and callback messages as the debug
// output shows them.
#include "telephony/TapiNames.h"
#include "telephony/TapiTrace.h"
#include <gtest/gtest.h>
#include <iterator>
#include <string>

namespace {

template <size_t N> std::string Flags(uint64_t value, const char* const (&table)[N]) {
    char out[512];
    size_t written = FormatFlags(out, sizeof out, value, table, N);
    EXPECT_EQ(written, std::string(out).size());
    return out;
}

TEST(TapiFlags, RendersNamesJoinedAndUnknownBits) {
    struct Case {
        uint64_t value;
        const char* expected;
    } cases[] = {
        {0x0, "Unknown LINECALLSTATE state"},
        {0x1, "LINECALLSTATE_IDLE"},
        {0x5, "LINECALLSTATE_IDLE, LINECALLSTATE_ACCEPTED"},
        {0x8000, "LINECALLSTATE_UNKNOWN"},
        {0x30000, "Unknown flags '0x30000'"},
        {0x10001, "LINECALLSTATE_IDLE, Unknown flags '0x10000'"},
        {0x8000000000000000ull, "Unknown flags '0x8000000000000000'"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Flags(c.value, kCallStateNames), c.expected) << std::hex << c.value;
}

TEST(TapiFlags, TablesWithOddFirstEntries) {
    EXPECT_EQ(Flags(0, kCallPrivilegeNames), "No change to LINECALLPRIVILEGE");
    EXPECT_EQ(Flags(0x2, kCallPrivilegeNames), "LINECALLPRIVILEGE_MONITOR");
    EXPECT_EQ(Flags(0x8, kCallPrivilegeNames), "Unknown flags '0x8'");
    EXPECT_EQ(Flags(0x1, kMediaModeNames), "UnUsed LINEMEDIAMODE mode, ERROR!!");
    EXPECT_EQ(Flags(0x12, kMediaModeNames), "LINEMEDIAMODE_UNKNOWN, LINEMEDIAMODE_DATAMODEM");
    EXPECT_EQ(Flags(0x1000000, kLineDevStateNames), "LINEDEVSTATE_REMOVED");
    EXPECT_EQ(Flags(0x2000000, kLineDevStateNames), "Unknown flags '0x2000000'");
}

TEST(TapiFlags, CutToRoomAndStillEnded) {
    char out[12];
    size_t written = FormatFlags(out, sizeof out, 0x5, kCallStateNames, std::size(kCallStateNames));
    EXPECT_EQ(written, 11u);
    EXPECT_STREQ(out, "LINECALLSTA");
    EXPECT_EQ(FormatFlags(out, 1, 0x5, kCallStateNames, std::size(kCallStateNames)), 0u);
    EXPECT_STREQ(out, "");
}

TEST(TapiErrors, NamesByIndexWithTopBitCleared) {
    struct Case {
        uint32_t code;
        const char* expected;
    } cases[] = {
        {0x80000001, "LINEERR_ALLOCATED"},
        {0x00000001, "LINEERR_ALLOCATED"},
        {0x80000000, ""},
        {0x80000004, "LINEERR Unused constant, ERROR!!"},
        {0x80000031, "LINEERR Unused constant, ERROR!!"},
        {0x80000052, "LINEERR_REINIT"},
        {0x80000056, "LINEERR_NOMULTIPLEINSTANCE"},
        {0x80000057, "Unknown TAPI line error code: 0x80000057"},
        {0x00000057, "Unknown TAPI line error code: 0x57"},
        {0xFFFFFFFF, "Unknown TAPI line error code: 0xffffffff"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LineErrorString(c.code), c.expected) << std::hex << c.code;
}

TEST(TapiErrors, TextCutToBuffer) {
    char buffer[8];
    EXPECT_STREQ(LineErrorTextInto(0x80000001, buffer, 5), "LINE");
    EXPECT_STREQ(LineErrorTextInto(0x80000001, buffer, 1), "");
    EXPECT_STREQ(LineErrorTextInto(0x80000000, buffer, sizeof buffer), "");
}

std::string TitleOf(uint64_t window) {
    return window == 0x1234 ? "Other program" : "";
}

std::string Callback(LineCallbackValues v, size_t room = 4096) {
    std::string out(room, '\xff');
    size_t written = FormatLineCallbackText(&out[0], room, v, TitleOf);
    out.resize(written);
    return out;
}

TEST(TapiCallbackTrace, MessagesAsTheTraceShowsThem) {
    const std::string cs = "lineCallback: LINE_CALLSTATE; dwDevice: '0x10'; ";
    const std::string ds = "lineCallback: LINE_LINEDEVSTATE; dwDevice: '0x0'; ";
    struct Case {
        LineCallbackValues v;
        std::string expected;
    } cases[] = {
        {{0x10, 2, 0, 0x4000, 0x20, 0},
         cs + "No change to LINECALLPRIVILEGE; LINECALLSTATE_DISCONNECTED: "
              "LINEDISCONNECTMODE_BUSY"},
        {{0x10, 2, 0, 0x8, 0x1, 0x4},
         cs + "LINECALLPRIVILEGE_OWNER; LINECALLSTATE_DIALTONE: LINEDIALTONEMODE_NORMAL"},
        {{0x10, 2, 0, 0x800, 0x77, 0},
         cs + "No change to LINECALLPRIVILEGE; LINECALLSTATE_CONFERENCED: Parent conference call "
              "handle: 0x77"},
        // A combination is not one of the states that carry a mode.
        {{0x10, 2, 0, 0x4001, 0x20, 0},
         cs + "No change to LINECALLPRIVILEGE; LINECALLSTATE_IDLE, LINECALLSTATE_DISCONNECTED"},
        {{0, 8, 0, 0x40000, 0, 0}, ds + "LINEDEVSTATE_REINIT"},
        {{0, 8, 0, 0x40000, 19, 5},
         ds + "LINEDEVSTATE_REINIT; ReInit reason: LINE_CREATE, New Line Device ID '0x5'"},
        {{0, 8, 0, 0x40000, 8, 0x80},
         ds + "LINEDEVSTATE_REINIT; ReInit reason: LINE_LINEDEVSTATE, LINEDEVSTATE_OUTOFSERVICE"},
        {{0, 8, 0, 0x40000, 12, 3},
         ds + "LINEDEVSTATE_REINIT; ReInit reason: LINE_REPLY, dwParam3: 0x3"},
        {{0, 8, 0, 0x40000, 30, 3},
         ds + "LINEDEVSTATE_REINIT; ReInit reason: Unknown dwMsg '0x1e', dwParam3: 0x3"},
        {{0, 8, 0, 0x2, 0x1, 3}, ds + "LINEDEVSTATE_RINGING; Ring Mode: 0x1, Ring Count: 3"},
        {{7, 12, 0, 0x101, 0, 0},
         "lineCallback: LINE_REPLY; dwDevice: '0x7'; Request ID: 0x101; Successful reply!"},
        {{7, 12, 0, 0x101, 0x80000001, 0},
         "lineCallback: LINE_REPLY; dwDevice: '0x7'; Request ID: 0x101; UnSuccessful reply; "
         "LINEERR_ALLOCATED"},
        {{3, 3, 0, 0, 0, 0}, "lineCallback: LINE_CLOSE; dwDevice: '0x3'; "},
        {{3, 9, 0, 0x135, 0x2, 0},
         "lineCallback: LINE_MONITORDIGITS; dwDevice: '0x3'; LINEDIGITMODE_DTMF, Received: '5'"},
        {{3, 9, 0, 0x100, 0x2, 0},
         "lineCallback: LINE_MONITORDIGITS; dwDevice: '0x3'; LINEDIGITMODE_DTMF, Received: ''"},
        {{0, 13, 0, 0x4, 0x1234, 0x50007},
         "lineCallback: LINE_REQUEST; dwDevice: '0x0'; LINEREQUESTMODE_DROP: hwnd dropping = "
         "0x1234, \"Other program\"; wRequestID = 7"},
        {{1, 18, 0, 1, 2, 3},
         "lineCallback: PHONE_STATE; dwDevice: '0x1'; dwParam1: 0x1 , dwParam2: 0x2 , dwParam3: "
         "0x3"},
        {{0, 20, 0, 4, 0, 0},
         "lineCallback: PHONE_CREATE; dwDevice: '0x0'; New Phone Device ID '0x4'"},
        {{1, 21, 2, 3, 4, 5},
         "lineCallback: Unknown dwMsg: '0x15', dwDevice: '0x1', dwCallbackInstance: '0x2', "
         "dwParam1: '0x3', dwParam2: '0x4', dwParam3: '0x5'"},
        {{1, 0xFFFFFFFF, 0, 0, 0, 0},
         "lineCallback: Unknown dwMsg: '0xffffffff', dwDevice: '0x1', dwCallbackInstance: '0x0', "
         "dwParam1: '0x0', dwParam2: '0x0', dwParam3: '0x0'"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Callback(c.v), c.expected) << c.expected;
}

TEST(TapiCallbackTrace, LongTextCutAtRoom) {
    LineCallbackValues v{0x10, 1, 0, 0x0FFFFFFF, 0, 0}; // every call-information bit
    std::string whole = Callback(v);
    ASSERT_GT(whole.size(), 300u);
    for (size_t room : {1u, 2u, 40u, 41u, 300u}) {
        std::string cut = Callback(v, room);
        EXPECT_EQ(cut, whole.substr(0, room - 1)) << room;
    }
}

} // namespace
