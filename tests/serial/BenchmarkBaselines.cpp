// The baselines of the serial benchmark: bare platform calls and the old receive buffer.
#include "tests/serial/BenchmarkBaselines.h"
#include "tests/wine/ProbeCheck.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

HANDLE OpenBare(const char* device) {
    return CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

bool SetLine(HANDLE port) {
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb))
        return false;
    dcb.BaudRate = 19200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    return SetCommState(port, &dcb) != FALSE;
}

// A read returns what has arrived at once, or waits up to a second for the first byte.
void ReturnWhatArrived(HANDLE port) {
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = 1000;
    timeouts.WriteTotalTimeoutConstant = 1000;
    SetCommTimeouts(port, &timeouts);
}

DWORD Overlapped(HANDLE port, bool write, void* bytes, DWORD count, HANDLE event) {
    OVERLAPPED request = {};
    request.hEvent = event;
    DWORD done = 0;
    const BOOL finished = write ? WriteFile(port, bytes, count, &done, &request)
                                : ReadFile(port, bytes, count, &done, &request);
    if (!finished && (GetLastError() != ERROR_IO_PENDING ||
                      !GetOverlappedResult(port, &request, &done, TRUE)))
        return 0;
    return done;
}

} // namespace

double BareOpenMs(const char* device) {
    const double start = NowMs();
    HANDLE port = OpenBare(device);
    if (port == INVALID_HANDLE_VALUE)
        return -1;
    const bool set = SetLine(port);
    CloseHandle(port);
    return set ? NowMs() - start : -1;
}

double MoveEveryByteDrainMs(size_t count) {
    std::vector<uint8_t> buffer(count, 0x5A);
    size_t held = count;
    volatile uint8_t sink = 0;
    const double start = NowMs();
    while (held > 0) {
        sink = buffer[0];
        --held;
        std::memmove(buffer.data(), buffer.data() + 1, held);
    }
    (void)sink;
    return NowMs() - start;
}

// How much to ask of the next read: `chunk`, or with `queue_first` at most that of what the
// device holds now (0 when nothing).
DWORD NextReadSize(HANDLE port, DWORD chunk, bool queue_first) {
    if (!queue_first)
        return chunk;
    DWORD errors = 0;
    COMSTAT state = {};
    ClearCommError(port, &errors, &state);
    return state.cbInQue < chunk ? state.cbInQue : chunk;
}

PlainBurst PlainOverlappedBurst(const char* device, uint8_t request, size_t expected,
                                DWORD chunk, bool queue_first) {
    PlainBurst result;
    HANDLE port = OpenBare(device);
    if (port == INVALID_HANDLE_VALUE)
        return result;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (SetLine(port) && event) {
        ReturnWhatArrived(port);
        PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
        std::vector<uint8_t> received;
        received.reserve(expected);
        std::vector<uint8_t> block(chunk);
        double last = 0;
        const double asked = NowMs();
        if (Overlapped(port, true, &request, 1, event) == 1) {
            const double give_up = asked + 20000;
            while (received.size() < expected && NowMs() < give_up) {
                const DWORD wanted = NextReadSize(port, chunk, queue_first);
                const DWORD got = wanted ? Overlapped(port, false, block.data(), wanted, event) : 0;
                if (got == 0)
                    continue;
                last = NowMs();
                received.insert(received.end(), block.data(), block.data() + got);
            }
        }
        result.requestToLastMs = received.empty() ? 0 : last - asked;
        result.received = received.size();
        result.inOrder = true;
        for (size_t i = 0; i < received.size(); ++i)
            result.inOrder &= received[i] == static_cast<uint8_t>(i * 7);
    }
    if (event)
        CloseHandle(event);
    CloseHandle(port);
    return result;
}
