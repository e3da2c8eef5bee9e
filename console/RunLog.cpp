// Formatting and masking of the /LOG: file's lines.
#include "console/RunLog.h"
#include <cstdio>

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameAt(const std::string& text, size_t at, const std::string& word) {
    for (size_t i = 0; i < word.size(); ++i) {
        if (Lower(text[at + i]) != Lower(word[i]))
            return false;
    }
    return true;
}

constexpr const char kMask[] = "********";

// Letters and digits (and the bytes of other code pages' letters) are one kind of
// character, blanks another, and the remaining signs a third.
int KindOf(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u >= '0' && u <= '9') || (Lower(c) >= 'a' && Lower(c) <= 'z') || u >= 0x80)
        return 1;
    if (u <= ' ' || u == 0x7F)
        return 0;
    return 2;
}

// Two neighbours belong to one word when they are of the same kind and not blanks: "1234"
// inside "5551234", or "*" inside "**", is part of other text, not the password.
bool Glued(char a, char b) {
    return KindOf(a) != 0 && KindOf(a) == KindOf(b);
}

// The password at this position, standing apart from the text around it.
bool StandsAlone(const std::string& text, size_t at, const std::string& password) {
    if (password.empty() || at + password.size() > text.size() || !SameAt(text, at, password))
        return false;
    const size_t end = at + password.size();
    if (at > 0 && Glued(text[at - 1], password.front()))
        return false;
    return end == text.size() || !Glued(password.back(), text[end]);
}

} // namespace

std::string StampLogLine(const LocalTime& when, const std::string& text) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", when.year, when.month,
                  when.day, when.hour, when.minute, when.second, when.millisecond);
    std::string line = stamp;
    for (char c : text)
        line += (c == '\r' || c == '\n') ? ' ' : c;
    return line;
}

std::string HidePassword(const std::string& text, const std::string& password) {
    return HidePasswords(text, {password});
}

std::string HidePasswords(const std::string& text, const std::vector<std::string>& passwords) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const std::string* found = nullptr;
        for (const std::string& password : passwords) {
            if (StandsAlone(text, i, password) && (!found || password.size() > found->size()))
                found = &password;
        }
        if (found) {
            out += kMask;
            i += found->size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string LogFirstLine(const std::string& version, const std::string& link) {
    return "Farlink To WinCE " + (version.empty() ? std::string("(version unknown)") : version) +
           ", link: " + link;
}

std::string LogLastLine(int exitStatus, const char* description) {
    return "Exit status " + std::to_string(exitStatus) + ": " + description;
}

std::string DescribeLink(int commType, const std::string& name) {
    if (commType == 1)
        return name.empty() ? "direct cable, no port chosen" : "direct cable on " + name;
    if (commType == 0)
        return name.empty() ? "modem, no line chosen" : "modem line " + name;
    return "none";
}

std::string FileVersionText(const uint8_t* block, size_t size) {
    // VS_FIXEDFILEINFO: signature, structure version, then the file version
    // as two 32-bit halves; it starts on a 32-bit boundary of the block.
    auto read32 = [block](size_t at) {
        return static_cast<uint32_t>(block[at]) | static_cast<uint32_t>(block[at + 1]) << 8 |
               static_cast<uint32_t>(block[at + 2]) << 16 |
               static_cast<uint32_t>(block[at + 3]) << 24;
    };
    if (!block)
        return "";
    for (size_t at = 0; at + 16 <= size; at += 4) {
        if (read32(at) != 0xFEEF04BDu)
            continue;
        uint32_t high = read32(at + 8);
        uint32_t low = read32(at + 12);
        char text[48];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(high >> 16),
                      static_cast<unsigned>(high & 0xFFFF), static_cast<unsigned>(low >> 16),
                      static_cast<unsigned>(low & 0xFFFF));
        return text;
    }
    return "";
}

void RunLogBook::HidePassword(const std::string& password) {
    if (password.empty())
        return;
    for (const std::string& known : passwords_) {
        if (known == password)
            return;
    }
    passwords_.push_back(password);
}

void RunLogBook::Add(const LocalTime& when, const std::string& text) {
    waiting_.push_back({when, text});
}

void RunLogBook::Begin(const LocalTime& when, const std::string& firstLine) {
    if (begun_)
        return;
    begun_ = true;
    waiting_.insert(waiting_.begin(), {when, firstLine});
}

std::vector<std::string> RunLogBook::Take() {
    std::vector<std::string> lines;
    if (!begun_)
        return lines;
    // Masked before the stamp is put on and the line breaks are flattened: the stamp is never
    // taken for a password, and a password holding a line break is still found.
    for (const Entry& entry : waiting_)
        lines.push_back(StampLogLine(entry.when, HidePasswords(entry.text, passwords_)) + "\r\n");
    waiting_.clear();
    return lines;
}
