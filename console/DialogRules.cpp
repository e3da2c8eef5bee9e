// Delay range, status-line text, port names, integer fields, enable rules.
#include "console/DialogRules.h"
#include "shell/TextFormat.h"
#include <cctype>
#include <climits>

int ClampDelay(int seconds) {
    if (seconds < kMinDelay)
        return kMinDelay;
    if (seconds > kMaxDelay)
        return kMaxDelay;
    return seconds;
}

std::string StatusLineText(const std::string& text) {
    if (!text.empty() && text.back() == '\n')
        return text.substr(0, text.size() - 1);
    return text;
}

int PortNumberFromName(const std::string& name) {
    if (name.size() < 4)
        return 0;
    return LeadingInteger(name.substr(3));
}

bool ParseIntegerField(const std::string& text, int& value) {
    size_t i = 0;
    auto blank = [&](size_t k) { return std::isspace(static_cast<unsigned char>(text[k])) != 0; };
    while (i < text.size() && blank(i))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    size_t digitsStart = i;
    long long magnitude = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    if (i == digitsStart)
        return false;
    while (i < text.size() && blank(i))
        ++i;
    if (i != text.size())
        return false;
    long long result = negative ? -magnitude : magnitude;
    if (result > INT_MAX || result < INT_MIN)
        return false;
    value = static_cast<int>(result);
    return true;
}

EnabledControls ComputeEnabledControls(bool busy, int commType, bool haveLines, bool havePorts) {
    EnabledControls e{};
    e.dial = !busy && (haveLines || havePorts);
    e.hangup = busy;
    e.credentials = !busy;
    e.lineList = !busy && commType == 0;
    e.portList = !busy && commType == 1;
    e.delay = !busy && commType == 1;
    e.numbers = !busy && commType == 0;
    return e;
}
