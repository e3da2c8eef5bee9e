// What the serial benchmark measures the library against: the platform's own calls on the same
// port, and the receive buffer the library's replaced (every read moved the rest down).
#pragma once

#include <cstddef>
#include <cstdint>

// Milliseconds of one CreateFile + GetCommState + SetCommState (19200 8N1) + CloseHandle of
// the port, or a negative value when the port does not open.
double BareOpenMs(const char* device);

// Milliseconds to take count bytes one at a time from a full buffer that moves every held
// byte down by one at each take.
double MoveEveryByteDrainMs(size_t count);

struct PlainBurst {
    size_t received = 0;
    double firstToLastMs = 0;
    bool inOrder = false;
};
// Writes the one-byte request, then reads the answer of `expected` bytes (byte i = i * 7) with
// a plain overlapped ReadFile loop on the bare port, as fast as the platform delivers it.
PlainBurst PlainOverlappedBurst(const char* device, uint8_t request, size_t expected);
