// The provider's log: one line per call, callback and notable event, appended at once.
#pragma once
#include <string>

namespace provider_log {
void Open(const std::string& path); // empty: no log
// printf-style; a line end is added.
void Write(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Hex(unsigned long long value);
std::string
Quote(const char* text); // "..." with \xNN for bytes outside printable ASCII; null: null
} // namespace provider_log
