// Safe integer formatting of translatable texts.
#include "app/TextFormat.h"

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
