// Line protocol of the UI driver: one request line in, one answer line out.
#pragma once

#include <string>
#include <vector>

// A line is fields separated by TAB; inside a field, backslash escapes stand
// for backslash, TAB, CR and LF, so any control text survives one line.
std::vector<std::wstring> SplitRequest(const std::string& utf8Line);
std::string JoinAnswer(const std::vector<std::wstring>& fields);

std::wstring FromUtf8(const std::string& text);
std::string ToUtf8(const std::wstring& text);
