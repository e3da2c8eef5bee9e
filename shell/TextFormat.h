// Fills the integer placeholders of string-table texts. Texts may come from
// a language module, so only %d, %ld and %% are honoured; anything else is
// copied as it stands and can never read a missing argument.
#pragma once
#include <initializer_list>
#include <string>

std::string FormatIntegers(const std::string& format, std::initializer_list<long> values);

// Leading-decimal-digits conversion: white space, optional sign, digits up to
// the first non-digit; no digits gives 0. Saturates at the int32 range.
int LeadingInteger(const std::string& text);
