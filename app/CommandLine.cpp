// Splits the command line and applies the option table.
#include "app/CommandLine.h"
#include <climits>
#include <cstring>

namespace {

enum class Value {
    Text,
    Integer,
    Flag,
    Seconds,    // /TIMEOUT: a checked number of seconds
    WantedPath, // /LOG:, /PROFILE: a path, and the wish for it even when the path is empty
};

struct Option {
    const char* text;
    Value kind;
    std::string ConnectionParameters::*textMember;
    int ConnectionParameters::*intMember;
};

// Tested in this order against every token. No option text is a prefix of
// another, so at most one row matches.
const Option kOptions[] = {
    {"/DIAL:", Value::Text, &ConnectionParameters::m_strDialNumber, nullptr},
    {"/MYNUMBER:", Value::Text, &ConnectionParameters::m_strMyNumber, nullptr},
    {"/USER:", Value::Text, &ConnectionParameters::m_strUsername, nullptr},
    {"/PASS:", Value::Text, &ConnectionParameters::m_strPassword, nullptr},
    {"/DOMAIN:", Value::Text, &ConnectionParameters::m_strDomain, nullptr},
    {"/MODEM:", Value::Integer, nullptr, &ConnectionParameters::m_nPreferredLine},
    {"/AUTODIAL", Value::Flag, nullptr, &ConnectionParameters::m_bAutoDial},
    {"/AUTOCLOSE", Value::Flag, nullptr, &ConnectionParameters::m_bAutoClose},
    {"/PROFILE:", Value::WantedPath, &ConnectionParameters::m_strProfilePath,
     &ConnectionParameters::m_bProfileWanted},
    {"/TIMEOUT:", Value::Seconds, nullptr, &ConnectionParameters::m_nTimeout},
    {"/LOG:", Value::WantedPath, &ConnectionParameters::m_strLogPath,
     &ConnectionParameters::m_bLogWanted},
    {"/?", Value::Flag, nullptr, &ConnectionParameters::m_bShowUsage},
    {"/HELP", Value::Flag, nullptr, &ConnectionParameters::m_bShowUsage},
};

// Option texts are plain ASCII, so comparing with ASCII upper-casing finds
// the same matches as upper-casing the whole token under the C locale.
bool StartsWithIgnoringCase(const std::string& token, const char* option) {
    size_t n = std::strlen(option);
    if (token.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = token[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != option[i])
            return false;
    }
    return true;
}

} // namespace

void SplitCommandLine(const char* tail, std::vector<std::string>& tokens) {
    if (!tail)
        return;
    std::string current;
    for (const char* p = tail; *p; ++p) {
        if (*p != ' ') {
            current += *p;
        } else if (!current.empty()) {
            tokens.push_back(current);
            current.clear();
        }
    }
    if (!current.empty())
        tokens.push_back(current);
}

void ApplyCommandLine(ConnectionParameters& dialog, const std::vector<std::string>& tokens) {
    for (const std::string& token : tokens) {
        for (const Option& option : kOptions) {
            if (!StartsWithIgnoringCase(token, option.text))
                continue;
            std::string rest = token.substr(std::strlen(option.text));
            switch (option.kind) {
            case Value::Text:
                dialog.*option.textMember = rest;
                break;
            case Value::Integer:
                dialog.*option.intMember = LeadingInteger(rest);
                break;
            case Value::Flag:
                dialog.*option.intMember = 1;
                break;
            case Value::Seconds: {
                // A refused value leaves no limit in force, whatever came before.
                int seconds = 0;
                bool ok = ParseTimeoutSeconds(rest, seconds);
                dialog.*option.intMember = ok ? seconds : 0;
                dialog.m_bTimeoutRefused = ok ? 0 : 1;
                break;
            }
            case Value::WantedPath:
                dialog.*option.textMember = rest;
                dialog.*option.intMember = 1;
                break;
            }
        }
    }
}

bool ParseTimeoutSeconds(const std::string& text, int& seconds) {
    if (text.empty() || text.size() > 9)
        return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < kMinTimeout || value > kMaxTimeout)
        return false;
    seconds = value;
    return true;
}
