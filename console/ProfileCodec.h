// Byte format of connection profile files (*.cfg): the writer and a reader that survives damage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The five texts of a profile, in the order the file stores them.
enum class ProfileText { DialNumber, MyNumber, Username, Password, Domain };
constexpr int kProfileTextCount = 5;

// A text's length is stored in 16 bits; longer texts cannot be saved.
constexpr std::size_t kMaxProfileTextLength = 65535;

struct ProfileValues {
    int32_t lineIndex = -1; // selected entry of the modem line list, -1 for none
    std::string texts[kProfileTextCount];
    int32_t commType = 0;   // 0 = Modem, 1 = Direct Connection
    int32_t portIndex = -1; // selected entry of the COM port list, -1 for none
    int32_t delay = 30;

    std::string& Text(ProfileText which) { return texts[static_cast<int>(which)]; }
    const std::string& Text(ProfileText which) const { return texts[static_cast<int>(which)]; }
};

// The first text that is too long to be stored, if any.
bool FindOverlongText(const ProfileValues& values, ProfileText& which);

// Appends the profile's bytes to out. Returns false, appending nothing, when a text is too long.
bool EncodeProfile(const ProfileValues& values, std::string& out);

// Where the reader's bytes come from. Read returns fewer bytes than asked only at the end of
// the data or on a read failure; the reader treats both alike.
class ProfileByteSource {
  public:
    virtual ~ProfileByteSource() = default;
    virtual std::size_t Read(uint8_t* dst, std::size_t count) = 0;
    // Passes over count bytes; returns true only if all of them were there.
    virtual bool Skip(uint64_t count);
};

class MemoryByteSource : public ProfileByteSource {
  public:
    MemoryByteSource(const void* data, std::size_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    std::size_t Read(uint8_t* dst, std::size_t count) override;
    bool Skip(uint64_t count) override;

  private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Receives the values as they are read, so that a file which ends early still leaves in
// force everything read before the damage. A text is delivered once its count has been read,
// with the characters decoded so far, also when the file ends inside it.
class ProfileSink {
  public:
    virtual ~ProfileSink() = default;
    virtual void SelectLine(int32_t index) = 0;
    virtual void SetText(ProfileText which, const std::string& text) = 0;
    virtual void SetCommType(int32_t type) = 0;
    virtual void SelectPort(int32_t index) = 0;
    virtual void SetDelay(int32_t seconds) = 0;
};

// Turns one 16-bit character of a wide archived string into the 8-bit code page.
using NarrowChar = char (*)(uint16_t wide);
char NarrowAsciiOnly(uint16_t wide);

// Reads a whole profile into the sink. Returns true when every value was read; false when
// the data ended early or could not be read (what was read until then has been delivered).
// Memory use is bounded by the longest text, whatever length prefixes the data claims.
bool ReadProfile(ProfileByteSource& source, ProfileSink& sink, NarrowChar narrow = NarrowAsciiOnly);

// Convenience for callers holding the bytes: fills values (starting from what it holds).
bool DecodeProfile(const std::string& bytes, ProfileValues& values);
