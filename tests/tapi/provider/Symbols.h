// Telephony constant names for scenarios and for the provider's log.
#pragma once
#include <cstdint>
#include <string>

bool LookupSymbol(const std::string& name, int64_t* value);
// First name starting with `prefix` whose value is `value` ("LINE_", 2 -> "LINE_CALLSTATE").
const char* SymbolName(const char* prefix, int64_t value);
