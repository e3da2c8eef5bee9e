// Safe integer formatting of translatable texts.
#include "shell/TextFormat.h"
#include <climits>

std::string FormatIntegers(const std::string& format, std::initializer_list<long> values) {
    std::string out;
    auto next = values.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        if (format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        size_t conversion = i + 1;
        if (format[conversion] == 'l' && conversion + 1 < format.size())
            ++conversion;
        if (format[conversion] == 'd' && next != values.end()) {
            out += std::to_string(*next++);
            i = conversion;
        } else {
            out += format[i];
        }
    }
    return out;
}

int LeadingInteger(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1; // keep saturating
    }
    if (negative)
        return static_cast<int>(-value < INT_MIN ? INT_MIN : -value);
    return static_cast<int>(value > INT_MAX ? INT_MAX : value);
}
