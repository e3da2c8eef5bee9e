// Escaping and UTF-8 conversion for the UI driver's line protocol.
#include "tools/driver/Protocol.h"

#include <windows.h>

std::wstring FromUtf8(const std::string& text) {
    if (text.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], n);
    return out;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr,
                                nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], n, nullptr, nullptr);
    return out;
}

std::vector<std::wstring> SplitRequest(const std::string& utf8Line) {
    std::vector<std::wstring> fields;
    std::string field;
    bool escaped = false;
    for (char c : utf8Line) {
        if (escaped) {
            field += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
            escaped = false;
        } else if (c == '\\') {
            escaped = true;
        } else if (c == '\t') {
            fields.push_back(FromUtf8(field));
            field.clear();
        } else if (c != '\n' && c != '\r') {
            field += c;
        }
    }
    fields.push_back(FromUtf8(field));
    return fields;
}

std::string JoinAnswer(const std::vector<std::wstring>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); i++) {
        if (i)
            line += '\t';
        for (char c : ToUtf8(fields[i])) {
            switch (c) {
            case '\\':
                line += "\\\\";
                break;
            case '\t':
                line += "\\t";
                break;
            case '\r':
                line += "\\r";
                break;
            case '\n':
                line += "\\n";
                break;
            default:
                line += c;
            }
        }
    }
    return line + "\n";
}
