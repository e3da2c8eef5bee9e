// Appends each line with its own open/write/close, so a test reading the file
// while the program runs always sees whole lines, and nothing is lost if the
// program is killed.
#include "ProviderLog.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace provider_log {
namespace {
std::string g_path;
}

void Open(const std::string& path) {
    g_path = path;
}

void Write(const char* format, ...) {
    if (g_path.empty())
        return;
    char text[2000];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0)
        return;
    // Every line ends with the tick count, so tests can measure the waits between calls.
    char line[2048];
    int len = std::snprintf(line, sizeof line, "%s tick=%lu\n", text, GetTickCount());
    if (len < 0 || static_cast<size_t>(len) >= sizeof line)
        return;
    HANDLE file = CreateFileA(g_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, line, static_cast<DWORD>(len), &written, nullptr);
    CloseHandle(file);
}

std::string Hex(unsigned long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", value);
    return text;
}

std::string Quote(const char* text) {
    if (!text)
        return "null";
    std::string out = "\"";
    for (size_t i = 0; text[i] && i < 512; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c > 0x7e) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

} // namespace provider_log
