// Renders telephony error codes, flag sets and callback messages as the text
// of the diagnostic trace. Platform-free: no Windows header.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Appends the names of the bits set in value at out (room bytes, always ended
// with NUL when room > 0): entry 0 when value is 0, else the names joined by
// ", ", then the bits the table has no name for. Returns the characters written.
size_t FormatFlags(char* out, size_t room, uint64_t value, const char* const* table, size_t count);

// The published name of a telephony error, or the unknown-code text.
std::string LineErrorString(uint32_t code);
// The same, cut to size - 1 characters, into buffer. Returns buffer.
char* LineErrorTextInto(uint32_t code, char* buffer, size_t size);

// The six values a line callback receives.
struct LineCallbackValues {
    uint64_t device;
    uint64_t message;
    uint64_t instance;
    uint64_t param1;
    uint64_t param2;
    uint64_t param3;
};

// Reads the title of a window for the trace of a dropped request.
using WindowTitleReader = std::string (*)(uint64_t window);

// The trace text of one callback message in out (room bytes, NUL-ended).
// Returns the characters written.
size_t FormatLineCallbackText(char* out, size_t room, const LineCallbackValues& values,
                              WindowTitleReader readTitle);
