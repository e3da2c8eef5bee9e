/* The platform's own share of an exchange with the station: the same I/O as Farlink's, on the
 * same port, with nothing of Farlink's (no dialog, no Status box, no serial library).
 *
 *   bare_exchange.exe direct LOGIN_HEX   connect request, login, hang-up request, each in an
 *                                        envelope, each sent once the answer to the one before
 *                                        is complete
 *   bare_exchange.exe modem FRAME_HEX    a 5000 ms pause, then the bare login frame
 *
 * COM1 is opened and set up as Farlink opens it for that link (overlapped, 19200 8N1, DTR on,
 * RTS left alone; no RTS toggling, CTS wait or echo suppression, as the direct link is
 * configured). A receive thread waits for EV_RXCHAR | EV_TXEMPTY, reads what is queued and
 * decodes the envelopes; the main thread waits on an event for each answer (the platform's
 * fastest hand-over). It writes the same debug lines at the same steps as Farlink
 * ("Timeline: ..."), so the timeline tool times both alike. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static HANDLE g_port, g_answered, g_stop;

static void Trace(const char* text) {
    OutputDebugStringA(text);
}

static int FromHex(const char* hex, unsigned char* out, int capacity) {
    int n = 0;
    while (hex[0] && hex[1] && n < capacity) {
        unsigned value;
        if (sscanf(hex, "%2x", &value) != 1)
            break;
        out[n++] = (unsigned char)value;
        hex += 2;
    }
    return n;
}

/* The envelope decoder, reduced to what tells an acknowledged answer: STX DLE ... DLE ETX BCC. */
static void Decode(unsigned char byte) {
    static int state, first, length;
    switch (state) {
    case 0:
        state = byte == 0x02 ? 1 : 0;
        length = 0;
        break;
    case 1:
        state = byte == 0x10 ? 2 : 0;
        break;
    case 2:
        if (byte == 0x10)
            state = 3;
        else if (length++ == 0)
            first = byte;
        break;
    case 3:
        if (byte == 0x03) {
            state = 4;
        } else {
            if (byte == 0x10 && length++ == 0)
                first = byte;
            state = 2;
        }
        break;
    default:
        state = 0;
        if (length > 0 && first == 0x06) {
            Trace("Timeline: answer acknowledged\n");
            SetEvent(g_answered);
        }
        break;
    }
}

static DWORD WINAPI Receive(LPVOID unused) {
    static unsigned char chunk[1024];
    OVERLAPPED wait = {0}, read = {0};
    HANDLE waits[2];
    (void)unused;
    wait.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    read.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    waits[0] = wait.hEvent;
    waits[1] = g_stop;
    SetCommMask(g_port, EV_RXCHAR | EV_TXEMPTY);
    for (;;) {
        DWORD events = 0, ignored;
        ResetEvent(wait.hEvent);
        if (!WaitCommEvent(g_port, &events, &wait)) {
            if (GetLastError() != ERROR_IO_PENDING)
                return 1;
            if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
                CancelIo(g_port);
                return 0;
            }
            if (!GetOverlappedResult(g_port, &wait, &ignored, FALSE))
                return 1;
        }
        if (events & EV_RXCHAR) {
            for (;;) {
                DWORD errors = 0, got = 0, i;
                COMSTAT state = {0};
                ClearCommError(g_port, &errors, &state);
                if (state.cbInQue == 0)
                    break;
                Trace("Timeline: bytes received\n");
                if (!ReadFile(g_port, chunk,
                              state.cbInQue < sizeof chunk ? state.cbInQue : sizeof chunk, &got,
                              &read) &&
                    !GetOverlappedResult(g_port, &read, &got, TRUE))
                    break;
                for (i = 0; i < got; ++i)
                    Decode(chunk[i]);
            }
        }
        if (events & EV_TXEMPTY)
            Trace("Timeline: transmitter empty\n");
    }
}

/* Starts one write as the serial library does: the receive queue cleared, then an overlapped
 * WriteFile from a buffer that outlives the call. */
static void Send(const unsigned char* bytes, int length) {
    static unsigned char buffer[4096];
    static OVERLAPPED write;
    DWORD ignored;
    if (write.hEvent == NULL)
        write.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    memcpy(buffer, bytes, (size_t)length);
    ResetEvent(write.hEvent);
    PurgeComm(g_port, PURGE_RXCLEAR);
    if (!WriteFile(g_port, buffer, (DWORD)length, &ignored, &write) &&
        GetLastError() != ERROR_IO_PENDING)
        fprintf(stderr, "WriteFile: %lu\n", GetLastError());
    Trace("Timeline: write started\n");
}

static int Envelope(const unsigned char* payload, int length, unsigned char* out) {
    int n = 0, i;
    unsigned char bcc = 0;
    out[n++] = 0x02;
    out[n++] = 0x10;
    for (i = 0; i < length; ++i) {
        bcc ^= payload[i];
        out[n++] = payload[i];
        if (payload[i] == 0x10)
            out[n++] = 0x10;
    }
    out[n++] = 0x10;
    out[n++] = 0x03;
    out[n++] = bcc;
    return n;
}

static int Exchange(const unsigned char* payload, int length) {
    unsigned char frame[4096 + 8];
    ResetEvent(g_answered);
    Send(frame, Envelope(payload, length, frame));
    if (WaitForSingleObject(g_answered, 5000) != WAIT_OBJECT_0) {
        fprintf(stderr, "no answer\n");
        return 0;
    }
    Trace("Timeline: answer taken\n");
    return 1;
}

int main(int argc, char** argv) {
    static unsigned char payload[2048];
    const unsigned char connect = 0x00, hangup = 0x01;
    const int direct = argc == 3 && strcmp(argv[1], "direct") == 0;
    int length;
    COMMTIMEOUTS timeouts = {0};
    DCB dcb = {0};
    HANDLE thread;
    if (argc != 3 || (!direct && strcmp(argv[1], "modem") != 0)) {
        fprintf(stderr, "usage: bare_exchange direct LOGIN_HEX | modem FRAME_HEX\n");
        return 2;
    }
    length = FromHex(argv[2], payload, sizeof payload);
    g_port = CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, NULL);
    if (g_port == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "COM1 does not open: %lu\n", GetLastError());
        return 1;
    }
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = 1000;
    timeouts.WriteTotalTimeoutConstant = 1000;
    SetCommTimeouts(g_port, &timeouts);
    dcb.DCBlength = sizeof dcb;
    GetCommState(g_port, &dcb);
    dcb.BaudRate = 19200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    SetCommState(g_port, &dcb);

    if (!direct) {
        Trace("Timeline: settle begins\n");
        Sleep(5000);
        Send(payload, length);
        Sleep(500);
        CloseHandle(g_port);
        return 0;
    }
    g_answered = CreateEventA(NULL, TRUE, FALSE, NULL);
    g_stop = CreateEventA(NULL, TRUE, FALSE, NULL);
    thread = CreateThread(NULL, 0, Receive, NULL, 0, NULL);
    SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
    EscapeCommFunction(g_port, SETDTR);
    Sleep(1000); /* as Farlink: the station listens a moment after DTR rises */
    if (!Exchange(&connect, 1) || !Exchange(payload, length) || !Exchange(&hangup, 1))
        return 1;
    SetEvent(g_stop);
    SetCommMask(g_port, 0);
    WaitForSingleObject(thread, 2000);
    CloseHandle(g_port);
    printf("done\n");
    return 0;
}
