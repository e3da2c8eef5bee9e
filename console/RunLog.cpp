// Formatting and masking of the /LOG: file's lines.
#include "console/RunLog.h"
#include <algorithm>
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
    if (password.empty() || text.size() < password.size())
        return text;
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (i + password.size() <= text.size() && SameAt(text, i, password)) {
            out += kMask;
            i += password.size();
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
        // A release is numbered in three parts (its packages carry that number): a zero
        // fourth part is left out, so the log names the version as the package does.
        std::string version = text;
        if ((low & 0xFFFF) == 0)
            version.resize(version.size() - 2);
        return version;
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
    // Longer ones first, so that a password holding another is masked whole.
    std::stable_sort(
        passwords_.begin(), passwords_.end(),
        [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
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
    for (const Entry& entry : waiting_) {
        std::string line = StampLogLine(entry.when, entry.text);
        for (const std::string& password : passwords_)
            line = ::HidePassword(line, password);
        lines.push_back(line + "\r\n");
    }
    waiting_.clear();
    return lines;
}
