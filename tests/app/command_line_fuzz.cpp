// libFuzzer target: any command-line tail is split and applied without harm, and what the
// options leave in the dialog's values stays inside their ranges.
#include "app/CommandLine.h"

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string tail(reinterpret_cast<const char*>(data), size); // cut at the first NUL
    std::vector<std::string> tokens;
    SplitCommandLine(tail.c_str(), tokens);
    size_t characters = 0;
    for (const std::string& token : tokens) {
        if (token.empty() || token.find(' ') != std::string::npos)
            std::abort();
        characters += token.size();
    }
    if (characters > tail.size())
        std::abort();

    ConnectionParameters dialog;
    ApplyCommandLine(dialog, tokens);
    if (dialog.m_bTimeoutRefused ? dialog.m_nTimeout != 0
                                 : dialog.m_nTimeout != 0 && (dialog.m_nTimeout < kMinTimeout ||
                                                              dialog.m_nTimeout > kMaxTimeout))
        std::abort();
    if (dialog.m_strDialNumber.size() > characters || dialog.m_strUsername.size() > characters ||
        dialog.m_strPassword.size() > characters || dialog.m_strLogPath.size() > characters)
        std::abort();

    for (const std::string& token : tokens) {
        int seconds = -1;
        if (ParseTimeoutSeconds(token, seconds) && (seconds < kMinTimeout || seconds > kMaxTimeout))
            std::abort();
        // The leading-integer reading agrees with the C library's, saturated to int.
        const long long expected = std::strtoll(token.c_str(), nullptr, 10);
        const long long clamped = expected > INT_MAX ? INT_MAX : expected < INT_MIN ? INT_MIN
                                                                                     : expected;
        if (LeadingInteger(token) != clamped)
            std::abort();
    }
    return 0;
}
