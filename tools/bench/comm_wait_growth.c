/* What one overlapped comm-event wait costs the process heap, without any of Farlink's code.

   comm_wait_growth.exe PORT CYCLES MODE

   Opens PORT (for example COM2) for overlapped I/O and repeats CYCLES times one transmission
   of a single byte:
     wait   WaitCommEvent (EV_TXEMPTY) is started first, the byte is written, and the wait
            completes once the transmitter is empty, as a receive thread sees each send;
     plain  the byte is written and its completion waited for; no comm-event wait at all.
   After a warm-up of 20 cycles, and then every 100 cycles, it prints one line:
     cycles N waits W busy B blocks K committed C
   W counts the waits that were still pending when WaitCommEvent returned, B and K are the
   bytes (with each block's overhead) and blocks in use in the process heap (HeapWalk), C is
   the committed memory the system reports for the process. The far end of the port must take
   the bytes. It loads user32 first, as every window program does: the modules that come with
   it change what a thread start puts on the heap, and the figure is meant for such a
   program. */
#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kWarmUp = 20, kEvery = 100 };

static void Report(long cycles, long waits) {
    PROCESS_HEAP_ENTRY entry;
    PROCESS_MEMORY_COUNTERS memory;
    SIZE_T busy = 0, blocks = 0;
    HANDLE heap = GetProcessHeap();
    memset(&entry, 0, sizeof entry);
    HeapLock(heap);
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
            busy += entry.cbData + entry.cbOverhead;
            ++blocks;
        }
    HeapUnlock(heap);
    memset(&memory, 0, sizeof memory);
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    printf("cycles %ld waits %ld busy %lu blocks %lu committed %lu\n", cycles, waits,
           (unsigned long)busy, (unsigned long)blocks, (unsigned long)memory.PagefileUsage);
    fflush(stdout);
}

static int Fail(const char* what) {
    printf("failed: %s (error %lu)\n", what, GetLastError());
    return 1;
}

int main(int argc, char** argv) {
    char name[32];
    HANDLE port;
    OVERLAPPED wait, write;
    DWORD events = 0, done = 0;
    long cycles, cycle, waits = 0;
    int with_wait;
    const char byte = 'x';

    if (argc != 4 || (strcmp(argv[3], "wait") != 0 && strcmp(argv[3], "plain") != 0)) {
        printf("usage: comm_wait_growth PORT CYCLES wait|plain\n");
        return 2;
    }
    GetSystemMetrics(SM_CXSCREEN); /* loads user32 and what comes with it */
    cycles = atol(argv[2]);
    with_wait = strcmp(argv[3], "wait") == 0;
    snprintf(name, sizeof name, "\\\\.\\%s", argv[1]);
    port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, NULL);
    if (port == INVALID_HANDLE_VALUE)
        return Fail("open");
    if (!SetCommMask(port, EV_TXEMPTY))
        return Fail("SetCommMask");
    memset(&wait, 0, sizeof wait);
    memset(&write, 0, sizeof write);
    wait.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    write.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);

    for (cycle = 1; cycle <= cycles; ++cycle) {
        if (with_wait) {
            ResetEvent(wait.hEvent);
            if (!WaitCommEvent(port, &events, &wait)) {
                if (GetLastError() != ERROR_IO_PENDING)
                    return Fail("WaitCommEvent");
                ++waits;
            }
        }
        ResetEvent(write.hEvent);
        if (!WriteFile(port, &byte, 1, NULL, &write) && GetLastError() != ERROR_IO_PENDING)
            return Fail("WriteFile");
        if (!GetOverlappedResult(port, &write, &done, TRUE))
            return Fail("write result");
        if (with_wait) {
            if (WaitForSingleObject(wait.hEvent, 2000) != WAIT_OBJECT_0)
                return Fail("no EV_TXEMPTY within 2 s");
            if (!GetOverlappedResult(port, &wait, &done, FALSE))
                return Fail("wait result");
        }
        if (cycle == kWarmUp || (cycle > kWarmUp && (cycle - kWarmUp) % kEvery == 0))
            Report(cycle, waits);
    }
    CloseHandle(port);
    return 0;
}
