// Profile files: exact bytes written, values read back, and what a damaged file leaves behind.
#include "console/ProfileCodec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out.push_back(static_cast<char>(v));
    return out;
}

// One archived string in the short form the writer uses.
std::string Item(const std::string& text) {
    return std::string(1, char(text.size())) + text;
}

std::string Encode(const ProfileValues& values) {
    std::string out;
    EXPECT_TRUE(EncodeProfile(values, out));
    return out;
}

// Bytes written as hexadecimal pairs separated by blanks, as the format is documented.
std::string Hex(const char* pairs) {
    std::string out;
    for (const char* p = pairs; *p; p += p[2] ? 3 : 2)
        out.push_back(static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16)));
    return out;
}

const std::string kEmptyProfile = Hex("FF FF FF FF 00 00 00 00 00 00 00 00 00 00 01 00 00 00 "
                                      "00 00 00 00 FF FF FF FF 1E 00 00 00");

// Lists every value the reader delivers, in order, so tests see exactly what a Load applies.
class RecordingSink : public ProfileSink {
  public:
    std::vector<std::string> calls;
    void SelectLine(int32_t index) override { calls.push_back("line " + std::to_string(index)); }
    void SetText(ProfileText which, const std::string& text) override {
        calls.push_back("text" + std::to_string(static_cast<int>(which)) + " " + text);
    }
    void SetCommType(int32_t type) override { calls.push_back("type " + std::to_string(type)); }
    void SelectPort(int32_t index) override { calls.push_back("port " + std::to_string(index)); }
    void SetDelay(int32_t seconds) override { calls.push_back("delay " + std::to_string(seconds)); }
};

std::vector<std::string> ReadCalls(const std::string& bytes, bool* complete = nullptr) {
    MemoryByteSource source(bytes.data(), bytes.size());
    RecordingSink sink;
    const bool done = ReadProfile(source, sink);
    if (complete)
        *complete = done;
    return sink.calls;
}

TEST(ProfileCodec, AllEmptyModemProfileIsThirtyKnownBytes) {
    EXPECT_EQ(Encode(ProfileValues{}), kEmptyProfile);

    ProfileValues read;
    read.texts[2] = "stale";
    read.delay = 99;
    ASSERT_TRUE(DecodeProfile(kEmptyProfile, read));
    EXPECT_EQ(read.lineIndex, -1);
    EXPECT_EQ(read.texts[2], "");
    EXPECT_EQ(read.commType, 0);
    EXPECT_EQ(read.portIndex, -1);
    EXPECT_EQ(read.delay, 30);
}

TEST(ProfileCodec, TextRecordsHaveTheDocumentedBytes) {
    const struct {
        std::string text;
        std::string record;
    } cases[] = {
        {"ab", Hex("02 00 03 31 39 36 03 31 39 34")},
        {"A", Hex("01 00 02 36 35")},
        {"", Bytes({0x00, 0x00})},
        // Codes above 0x7F count as negative: 0xE9 is -23, times the length 1.
        {"\xE9", Bytes({0x01, 0x00, 0x03, '-', '2', '3'})},
    };
    for (const auto& c : cases) {
        for (int field = 0; field < kProfileTextCount; ++field) {
            ProfileValues values;
            values.texts[field] = c.text;
            const std::string bytes = Encode(values);
            // Four bytes of line index, then two bytes per empty text before this one.
            EXPECT_EQ(bytes.substr(4 + 2 * field, c.record.size()), c.record)
                << "text '" << c.text << "' in field " << field;
            EXPECT_EQ(bytes.size(), kEmptyProfile.size() + c.record.size() - 2);
        }
    }
}

TEST(ProfileCodec, RoundTripRestoresEveryValue) {
    std::string allCodes;
    for (int c = 1; c < 256; ++c)
        allCodes.push_back(static_cast<char>(c));
    const std::string highCodes = "\x80\x81\xA0\xE4\xF6\xFC\xFF";
    const std::string longest(kMaxProfileTextLength, '\x80');

    const ProfileValues cases[] = {
        {0, {"0123456789", "555-0100", "operator", "", "WORKGROUP"}, 0, 0, 30},
        {3, {highCodes, allCodes, "x", highCodes + "abc", ""}, 1, 7, 255},
        {-1, {"", "", "", "", ""}, 1, -1, 30},
        // Values outside their usual range are stored and read back as they stand.
        {123456, {"a", "b", "c", "d", "e"}, 7, -5, 10},
        {1, {longest, "", "", "", longest}, 0, 0, 31},
    };
    for (const ProfileValues& original : cases) {
        ProfileValues read;
        read.texts[3] = "previous";
        ASSERT_TRUE(DecodeProfile(Encode(original), read));
        EXPECT_EQ(read.lineIndex, original.lineIndex);
        for (int i = 0; i < kProfileTextCount; ++i)
            EXPECT_EQ(read.texts[i], original.texts[i]) << "text " << i;
        EXPECT_EQ(read.commType, original.commType);
        EXPECT_EQ(read.portIndex, original.portIndex);
        EXPECT_EQ(read.delay, original.delay);
    }
}

TEST(ProfileCodec, TextTooLongForItsCountIsRefusedWithoutWriting) {
    ProfileValues values;
    values.Text(ProfileText::Password) = std::string(kMaxProfileTextLength + 1, 'p');
    values.Text(ProfileText::Domain) = std::string(kMaxProfileTextLength + 5, 'd');

    ProfileText which = ProfileText::DialNumber;
    ASSERT_TRUE(FindOverlongText(values, which));
    EXPECT_EQ(which, ProfileText::Password);

    std::string out = "kept";
    EXPECT_FALSE(EncodeProfile(values, out));
    EXPECT_EQ(out, "kept");

    ProfileValues fits;
    fits.Text(ProfileText::Domain) = std::string(kMaxProfileTextLength, 'd');
    EXPECT_FALSE(FindOverlongText(fits, which));
}

// A one-character text in the Dial Number field whose single item is given raw: the character
// read is the item's leading number (the length is 1, so no division changes it).
std::string ProfileWithDialItem(const std::string& item) {
    std::string bytes = kEmptyProfile;
    bytes.replace(4, 2, Bytes({0x01, 0x00}) + item);
    return bytes;
}

TEST(ProfileCodec, ItemsAcceptEveryArchiveLengthForm) {
    const struct {
        const char* name;
        std::string item;
        std::string text;
    } cases[] = {
        {"one byte", Item("65"), "A"},
        {"16-bit length", Bytes({0xFF, 0x02, 0x00}) + "66", "B"},
        {"32-bit length", Bytes({0xFF, 0xFF, 0xFF, 0x02, 0, 0, 0}) + "67", "C"},
        {"64-bit length",
         Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0}) + "68", "D"},
        {"wide, one byte", Bytes({0xFF, 0xFE, 0xFF, 0x02, '6', 0, '9', 0}), "E"},
        {"wide, 16-bit", Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0x02, 0x00, '7', 0, '0', 0}), "F"},
        {"wide, 32-bit", Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0, 0, 0, '7', 0, '1', 0}),
         "G"},
        // Wide characters outside ASCII end the number like any other non-digit.
        {"wide, non-ASCII stops", Bytes({0xFF, 0xFE, 0xFF, 0x03, '7', 0, 0x10, 0xFF, '2', 0}),
         "\x07"},
        {"blanks and plus sign", Item(" \t+72"), "H"},
        {"trailing text ignored", Item("73xyz"), "I"},
        {"negative code", Item("-23"), "\xE9"},
        {"no digits adds nothing", Item("abc"), ""},
        {"empty item adds nothing", Item(""), ""},
        {"zero adds nothing", Item("0"), ""},
        {"low byte of a large value", Item("321"), "A"},
        {"saturates high: low byte of 2147483647", Item("99999999999999999999"), "\xFF"},
        {"saturates low: low byte of -2147483648 is zero", Item("-99999999999999999999"), ""},
    };
    for (const auto& c : cases) {
        bool complete = false;
        const auto calls = ReadCalls(ProfileWithDialItem(c.item), &complete);
        EXPECT_TRUE(complete) << c.name;
        ASSERT_GE(calls.size(), 2u) << c.name;
        EXPECT_EQ(calls[1], "text0 " + c.text) << c.name;
        EXPECT_EQ(calls.back(), "delay 30") << c.name;
    }
}

TEST(ProfileCodec, ItemValueIsDividedByTheCountTowardZero) {
    // Count 2: items from last to first. 131 / 2 = 65 'A', -47 / 2 = -23 (0xE9).
    std::string bytes = kEmptyProfile;
    bytes.replace(4, 2, Bytes({0x02, 0x00}) + Item("131") + Item("-47"));
    EXPECT_EQ(ReadCalls(bytes)[1], "text0 \xE9"
                                   "A");
}

TEST(ProfileCodec, DamagedFileDeliversWhatWasReadBeforeTheDamage) {
    ProfileValues values{2, {"ab", "12", "usr", "secret", "dom"}, 1, 0, 45};
    const std::string full = Encode(values);
    const std::vector<std::string> all = {"line 2",    "text0 ab",     "text1 12",
                                          "text2 usr", "text3 secret", "text4 dom",
                                          "type 1",    "port 0",       "delay 45"};
    ASSERT_EQ(ReadCalls(full), all);

    ProfileValues upToPassword = values;
    upToPassword.Text(ProfileText::Password) = upToPassword.Text(ProfileText::Domain) = "";
    // Behind the Password record: an empty Domain and the four 32-bit values.
    const std::size_t passwordStart = Encode(upToPassword).size() - 2 - 2 - 16;
    ASSERT_EQ(full.substr(passwordStart, 2), Bytes({6, 0}));
    const struct {
        const char* name;
        std::size_t cut;
        std::vector<std::string> calls;
    } cases[] = {
        {"empty file", 0, {}},
        {"inside the line index", 3, {}},
        {"after the line index", 4, {"line 2"}},
        {"inside the Password count",
         passwordStart + 1,
         {"line 2", "text0 ab", "text1 12", "text2 usr"}},
        // The Password is emptied and holds the characters read so far: its last two
        // (each item of "secret" is a length byte and three digits).
        {"inside the Password items",
         passwordStart + 2 + 4 * 2 + 1,
         {"line 2", "text0 ab", "text1 12", "text2 usr", "text3 et"}},
        {"inside the skipped value", full.size() - 14, {all.begin(), all.begin() + 6}},
        {"inside the Delay", full.size() - 1, {all.begin(), all.end() - 1}},
    };
    for (const auto& c : cases) {
        bool complete = true;
        EXPECT_EQ(ReadCalls(full.substr(0, c.cut), &complete), c.calls) << c.name;
        EXPECT_FALSE(complete) << c.name;
    }

    // Every shorter prefix fails, and bytes after the Delay are ignored.
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        bool complete = true;
        ReadCalls(full.substr(0, cut), &complete);
        EXPECT_FALSE(complete) << "cut at " << cut;
    }
    bool complete = false;
    EXPECT_EQ(ReadCalls(full + "trailing junk", &complete), all);
    EXPECT_TRUE(complete);
}

TEST(ProfileCodec, HugeClaimedLengthsFailAtTheEndOfTheData) {
    const std::string huge64 = Bytes(
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F});
    const std::string oneItem = Bytes({0x01, 0x00});
    // Dial Number records: the count, then items that promise more than the data holds.
    const std::string records[] = {
        oneItem + huge64 + "65",
        oneItem + Bytes({0xFF, 0xFE, 0xFF}) + huge64.substr(1) + std::string(6, '7'),
        oneItem + Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0x7F}) + "12345",
        Bytes({0xFF, 0xFF}) + Item("1") + Item("2"),
    };
    for (const std::string& record : records) {
        bool complete = true;
        const auto calls = ReadCalls(Bytes({0, 0, 0, 0}) + record, &complete);
        EXPECT_FALSE(complete);
        EXPECT_EQ(calls, (std::vector<std::string>{"line 0", "text0 "}));
    }
}

} // namespace
