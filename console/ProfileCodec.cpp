// Byte format of connection profile files (*.cfg): the writer and a reader that survives damage.
#include "console/ProfileCodec.h"

#include <algorithm>
#include <climits>

namespace {

void PutLittleEndian(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A text is stored as its length and then, from the last character to the first, the
// character's signed code times the length, in decimal, each as a short archived string.
void PutText(std::string& out, const std::string& text) {
    const int length = static_cast<int>(text.size());
    PutLittleEndian(out, static_cast<uint32_t>(length), 2);
    for (auto it = text.rbegin(); it != text.rend(); ++it) {
        const int code = static_cast<signed char>(*it);
        const std::string digits = std::to_string(code * length);
        out.push_back(static_cast<char>(digits.size()));
        out += digits;
    }
}

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The leading decimal number of a text, fed one character at a time; saturates at the
// 32-bit limits like the runtime's own conversion.
class LeadingNumber {
  public:
    // Returns false once the number has ended and later characters no longer matter.
    bool Feed(char c) {
        if (state_ == State::Blanks) {
            if (IsBlank(c))
                return true;
            state_ = State::Digits;
            if (c == '+' || c == '-') {
                negative_ = c == '-';
                return true;
            }
        }
        if (state_ == State::Digits && c >= '0' && c <= '9') {
            magnitude_ = std::min<int64_t>(magnitude_ * 10 + (c - '0'), int64_t{INT_MAX} + 1);
            return true;
        }
        state_ = State::Done;
        return false;
    }
    int32_t Value() const {
        if (negative_)
            return static_cast<int32_t>(-magnitude_);
        return static_cast<int32_t>(std::min<int64_t>(magnitude_, INT_MAX));
    }

  private:
    enum class State { Blanks, Digits, Done };
    State state_ = State::Blanks;
    bool negative_ = false;
    int64_t magnitude_ = 0;
};

class ArchiveReader {
  public:
    ArchiveReader(ProfileByteSource& source, NarrowChar narrow)
        : source_(source), narrow_(narrow) {}

    bool Int32(int32_t& value) {
        uint32_t raw;
        if (!Unsigned(raw, 4))
            return false;
        value = static_cast<int32_t>(raw);
        return true;
    }
    bool UInt16(uint16_t& value) {
        uint32_t raw;
        if (!Unsigned(raw, 2))
            return false;
        value = static_cast<uint16_t>(raw);
        return true;
    }
    bool Skip(uint64_t count) { return source_.Skip(count); }

    // Reads one archived string and keeps only its leading decimal number: the rest is
    // skipped, so a string that claims gigabytes costs no memory and fails at the data's end.
    bool LeadingNumberOfString(int32_t& value) {
        uint64_t length;
        bool wide;
        if (!StringLength(length, wide))
            return false;
        LeadingNumber number;
        for (; length > 0; --length) {
            char c;
            if (wide) {
                uint32_t unit;
                if (!Unsigned(unit, 2))
                    return false;
                c = narrow_(static_cast<uint16_t>(unit));
            } else {
                uint8_t byte;
                if (source_.Read(&byte, 1) != 1)
                    return false;
                c = static_cast<char>(byte);
            }
            if (!number.Feed(c)) {
                --length;
                break;
            }
        }
        // Skipping a wide string's rest in two halves avoids overflowing its byte count.
        if (wide && !source_.Skip(length))
            return false;
        if (!source_.Skip(length))
            return false;
        value = number.Value();
        return true;
    }

  private:
    bool Unsigned(uint32_t& value, int bytes) {
        uint8_t raw[4];
        if (source_.Read(raw, bytes) != static_cast<std::size_t>(bytes))
            return false;
        value = 0;
        for (int i = bytes - 1; i >= 0; --i)
            value = (value << 8) | raw[i];
        return true;
    }

    // The archive's length prefix: one byte, escalating through 0xFF to 16, 32 and 64 bits;
    // the 16-bit value 0xFFFE marks a string of 16-bit characters whose length follows anew.
    bool StringLength(uint64_t& length, bool& wide) {
        wide = false;
        uint32_t small;
        if (!Unsigned(small, 1))
            return false;
        if (small < 0xFF)
            return length = small, true;
        if (!Unsigned(small, 2))
            return false;
        if (small == 0xFFFE) {
            wide = true;
            if (!Unsigned(small, 1))
                return false;
            if (small < 0xFF)
                return length = small, true;
            if (!Unsigned(small, 2))
                return false;
        }
        if (small < 0xFFFF)
            return length = small, true;
        uint32_t medium;
        if (!Unsigned(medium, 4))
            return false;
        if (medium < 0xFFFFFFFFu)
            return length = medium, true;
        uint32_t low, high;
        if (!Unsigned(low, 4) || !Unsigned(high, 4))
            return false;
        length = (uint64_t{high} << 32) | low;
        return true;
    }

    ProfileByteSource& source_;
    NarrowChar narrow_;
};

// Each character item holds the code times the text's length; dividing restores the code.
// The items run from the last character to the first, so the text is collected backwards.
bool ReadText(ArchiveReader& reader, ProfileText which, ProfileSink& sink) {
    uint16_t count;
    if (!reader.UInt16(count))
        return false;
    std::string backwards;
    bool complete = true;
    for (unsigned i = 0; i < count; ++i) {
        int32_t value;
        if (!reader.LeadingNumberOfString(value)) {
            complete = false;
            break;
        }
        const char c = static_cast<char>(value / static_cast<int32_t>(count));
        if (c != 0)
            backwards.push_back(c);
    }
    sink.SetText(which, std::string(backwards.rbegin(), backwards.rend()));
    return complete;
}

class ValuesSink : public ProfileSink {
  public:
    explicit ValuesSink(ProfileValues& values) : values_(values) {}
    void SelectLine(int32_t index) override { values_.lineIndex = index; }
    void SetText(ProfileText which, const std::string& text) override {
        values_.Text(which) = text;
    }
    void SetCommType(int32_t type) override { values_.commType = type; }
    void SelectPort(int32_t index) override { values_.portIndex = index; }
    void SetDelay(int32_t seconds) override { values_.delay = seconds; }

  private:
    ProfileValues& values_;
};

} // namespace

bool FindOverlongText(const ProfileValues& values, ProfileText& which) {
    for (int i = 0; i < kProfileTextCount; ++i) {
        if (values.texts[i].size() > kMaxProfileTextLength) {
            which = static_cast<ProfileText>(i);
            return true;
        }
    }
    return false;
}

bool EncodeProfile(const ProfileValues& values, std::string& out) {
    ProfileText overlong;
    if (FindOverlongText(values, overlong))
        return false;
    PutLittleEndian(out, static_cast<uint32_t>(values.lineIndex), 4);
    for (const std::string& text : values.texts)
        PutText(out, text);
    PutLittleEndian(out, 1, 4);
    PutLittleEndian(out, static_cast<uint32_t>(values.commType), 4);
    PutLittleEndian(out, static_cast<uint32_t>(values.portIndex), 4);
    PutLittleEndian(out, static_cast<uint32_t>(values.delay), 4);
    return true;
}

bool ProfileByteSource::Skip(uint64_t count) {
    uint8_t scratch[4096];
    while (count > 0) {
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<uint64_t>(count, sizeof scratch));
        if (Read(scratch, chunk) != chunk)
            return false;
        count -= chunk;
    }
    return true;
}

std::size_t MemoryByteSource::Read(uint8_t* dst, std::size_t count) {
    const std::size_t n = std::min(count, size_ - pos_);
    std::copy(data_ + pos_, data_ + pos_ + n, dst);
    pos_ += n;
    return n;
}

bool MemoryByteSource::Skip(uint64_t count) {
    if (count > size_ - pos_) {
        pos_ = size_;
        return false;
    }
    pos_ += static_cast<std::size_t>(count);
    return true;
}

char NarrowAsciiOnly(uint16_t wide) {
    return wide < 0x80 ? static_cast<char>(wide) : '?';
}

bool ReadProfile(ProfileByteSource& source, ProfileSink& sink, NarrowChar narrow) {
    ArchiveReader reader(source, narrow);
    int32_t value;
    if (!reader.Int32(value))
        return false;
    sink.SelectLine(value);
    for (int i = 0; i < kProfileTextCount; ++i) {
        if (!ReadText(reader, static_cast<ProfileText>(i), sink))
            return false;
    }
    // Written as 1 by every version so far; carries nothing the reader needs.
    if (!reader.Skip(4))
        return false;
    if (!reader.Int32(value))
        return false;
    sink.SetCommType(value);
    if (!reader.Int32(value))
        return false;
    sink.SelectPort(value);
    if (!reader.Int32(value))
        return false;
    sink.SetDelay(value);
    return true;
}

bool DecodeProfile(const std::string& bytes, ProfileValues& values) {
    MemoryByteSource source(bytes.data(), bytes.size());
    ValuesSink sink(values);
    return ReadProfile(source, sink);
}
