// Command-line tokens and the option table that maps them to the dialog.
#pragma once
#include "console/ConnectionParameters.h"
#include "shell/TextFormat.h"
#include <string>
#include <vector>

// Appends the space-separated tokens of the command-line tail. Only the
// space separates; quotes and tabs are ordinary characters.
void SplitCommandLine(const char* tail, std::vector<std::string>& tokens);

// Applies every option whose text begins a token (case-insensitively); later
// tokens overwrite earlier ones. Unknown tokens are ignored.
void ApplyCommandLine(ConnectionParameters& dialog, const std::vector<std::string>& tokens);

// Limits of /TIMEOUT:, in seconds.
constexpr int kMinTimeout = 1;
constexpr int kMaxTimeout = 3600;

// Reads a /TIMEOUT: value: decimal digits only, kMinTimeout..kMaxTimeout.
// False (seconds untouched) for anything else, so a typing slip is refused
// rather than read as some other limit.
bool ParseTimeoutSeconds(const std::string& text, int& seconds);
