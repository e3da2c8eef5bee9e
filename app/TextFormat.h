// Fills the integer placeholders of string-table texts. Texts may come from
// a language module, so only %d, %ld and %% are honoured; anything else is
// copied as it stands and can never read a missing argument.
#pragma once
#include <initializer_list>
#include <string>

std::string FormatIntegers(const std::string& format, std::initializer_list<long> values);
