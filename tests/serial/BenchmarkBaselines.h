// What the serial benchmark measures the library against: the platform's own calls on the same
// port, and the receive buffer the library's replaced (every read moved the rest down).
#pragma once

#include <windows.h>

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
    double requestToLastMs = 0; // from writing the request to the last byte read
    bool inOrder = false;
};
// Writes the one-byte request, then reads the answer of `expected` bytes (byte i = i * 7) with
// a plain overlapped ReadFile loop on the bare port, as fast as the platform delivers it. The
// time runs from the request, not the first byte: the peer writes faster than any reader, so
// most of the burst waits in the pty before the first read, and a first-to-last time would
// only tell how much was waiting.
//
// With `queue_first`, each read asks the device's queue first (ClearCommError) and takes at most
// `chunk` bytes of what is queued, as the library's receive thread does; otherwise every read
// asks for `chunk` bytes and returns what has arrived.
PlainBurst PlainOverlappedBurst(const char* device, uint8_t request, size_t expected,
                                DWORD chunk = 4096, bool queue_first = false);
