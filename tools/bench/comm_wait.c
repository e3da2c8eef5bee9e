/* The platform's own cost of a modem data channel that waits: COM1 opened overlapped, set up
 * as the channel sets it (a 250 ms interval time-out, no total time-outs, the line-error event
 * watched), and then only waiting, for the time given, with what the mode names pending:
 *
 *   comm_wait.exe read|event|both SECONDS
 *
 * "read" keeps a 2048-byte overlapped read pending, "event" an overlapped WaitCommEvent for
 * EV_ERR, "both" the two, as the channel's read thread does. Prints "ready" once they are
 * pending and "done" at the end; the CPU time is read from outside, as for the program. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: comm_wait read|event|both SECONDS\n");
        return 2;
    }
    const int read = strcmp(argv[1], "read") == 0 || strcmp(argv[1], "both") == 0;
    const int event = strcmp(argv[1], "event") == 0 || strcmp(argv[1], "both") == 0;
    const DWORD ms = (DWORD)atoi(argv[2]) * 1000;
    HANDLE port = CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, NULL);
    if (port == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "COM1 does not open: %lu\n", GetLastError());
        return 1;
    }
    COMMTIMEOUTS timeouts = {0};
    timeouts.ReadIntervalTimeout = 250;
    SetCommTimeouts(port, &timeouts);
    SetCommMask(port, EV_ERR);
    static char buffer[2048];
    OVERLAPPED reading = {0}, waiting = {0};
    reading.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    waiting.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    DWORD got = 0, mask = 0;
    if (read && !ReadFile(port, buffer, sizeof buffer, &got, &reading) &&
        GetLastError() != ERROR_IO_PENDING)
        fprintf(stderr, "ReadFile: %lu\n", GetLastError());
    if (event && !WaitCommEvent(port, &mask, &waiting) && GetLastError() != ERROR_IO_PENDING)
        fprintf(stderr, "WaitCommEvent: %lu\n", GetLastError());
    printf("ready\n");
    fflush(stdout);
    Sleep(ms);
    CancelIo(port);
    CloseHandle(port);
    printf("done\n");
    return 0;
}
