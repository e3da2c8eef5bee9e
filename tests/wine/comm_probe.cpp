// Harness check: a Windows program that works a COM port the way the product's serial code does.
//
// Usage: comm_probe COMn. Exit codes: 0 all steps worked, 2 the port did not
// open, 3 a later step failed (the step is printed).
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

bool Fail(const char* step) {
    std::printf("failed: %s (error %lu)\n", step, GetLastError());
    return false;
}

// Overlapped wait for one event, with a deadline, as a receive thread does.
bool WaitEvent(HANDLE port, DWORD wanted, const char* step) {
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD mask = 0;
    bool ok = false;
    for (int round = 0; round < 20 && !ok; round++) {
        ResetEvent(ov.hEvent);
        if (!WaitCommEvent(port, &mask, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING)
                break;
            DWORD unused = 0;
            if (WaitForSingleObject(ov.hEvent, 10000) != WAIT_OBJECT_0) {
                // The pending wait writes into `mask` and `ov` when it ends:
                // end it before they go out of scope.
                SetCommMask(port, 0);
                GetOverlappedResult(port, &ov, &unused, TRUE);
                break;
            }
            if (!GetOverlappedResult(port, &ov, &unused, FALSE))
                break;
        }
        ok = (mask & wanted) != 0;
    }
    CloseHandle(ov.hEvent);
    return ok || Fail(step);
}

bool Exercise(HANDLE port) {
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb))
        return Fail("GetCommState");
    dcb.BaudRate = CBR_19200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(port, &dcb))
        return Fail("SetCommState");

    // Line control the far end can see in the shim's log: DTR off, on; RTS off.
    if (!EscapeCommFunction(port, CLRDTR) || !EscapeCommFunction(port, SETDTR) ||
        !EscapeCommFunction(port, CLRRTS))
        return Fail("EscapeCommFunction");

    DWORD status = 0;
    if (!GetCommModemStatus(port, &status))
        return Fail("GetCommModemStatus");
    const DWORD present = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;
    if ((status & present) != present)
        return Fail("modem status lacks CTS, DSR or CD");

    DWORD errors = 0;
    COMSTAT stat = {};
    if (!ClearCommError(port, &errors, &stat))
        return Fail("ClearCommError");

    if (!SetCommMask(port, EV_TXEMPTY | EV_RXCHAR))
        return Fail("SetCommMask");
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD written = 0;
    if (!WriteFile(port, "ping", 4, &written, &ov)) {
        if (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(port, &ov, &written, TRUE))
            return Fail("WriteFile");
    }
    CloseHandle(ov.hEvent);
    if (written != 4)
        return Fail("short write");
    if (!WaitEvent(port, EV_TXEMPTY, "transmitter-empty event"))
        return false;

    if (!WaitEvent(port, EV_RXCHAR, "received-character event"))
        return false;
    char reply[8] = {};
    DWORD got = 0, total = 0;
    for (int round = 0; round < 50 && total < 4; round++) {
        OVERLAPPED rov = {};
        rov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!ReadFile(port, reply + total, 4 - total, &got, &rov)) {
            if (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(port, &rov, &got, TRUE))
                got = 0;
        }
        CloseHandle(rov.hEvent);
        total += got;
        if (total < 4)
            Sleep(100);
    }
    if (total != 4 || std::memcmp(reply, "pong", 4) != 0)
        return Fail("reading the reply");
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: comm_probe COMn\n");
        return 1;
    }
    char path[32];
    std::snprintf(path, sizeof path, "\\\\.\\%s", argv[1]);
    HANDLE port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        std::printf("cannot open %s (error %lu)\n", argv[1], GetLastError());
        return 2;
    }
    bool ok = Exercise(port);
    CloseHandle(port);
    // A trace line with characters the debug channel escapes.
    OutputDebugStringA(ok ? "comm_probe:\t\"done\" \\ 100%\n" : "comm_probe: stopped\n");
    std::printf("%s\n", ok ? "all steps worked" : "stopped");
    std::fflush(stdout);
    return ok ? 0 : 3;
}
