/* Another program using the serial library only through Farlink.exe's exported names. */
/* It declares the interface itself, from the documented layout, and includes nothing of the
   product: what it proves holds for any program written against the exports. */
#include <windows.h>

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef struct {
    int32_t port_index;
    uint32_t baud_rate;
    int32_t data_bits, stop_bits, parity;
    uint16_t start_timeout, end_timeout, char_timeout, cts_timeout;
    int32_t wait_cts, rts_mode;
    uint32_t options;
    uint16_t echo_size, rx_size;
} config_t;
_Static_assert(sizeof(config_t) == 44 && offsetof(config_t, rx_size) == 42, "documented layout");

typedef void* (*open_fn)(void*, config_t*, int32_t*);
typedef void (*port_fn)(void*);
typedef int32_t (*query_fn)(void*);
typedef int32_t (*send_fn)(void*, const uint8_t*, int32_t);
typedef int32_t (*read_fn)(void*, uint8_t*, int32_t);
typedef void (*install_fn)(void*, void (*)(void*));
typedef void (*format_fn)(int32_t, char*);
typedef int32_t (*index_fn)(int32_t);

static int failures;
#define CHECK(c, ...)                                                                              \
    do {                                                                                           \
        if (!(c)) {                                                                                \
            ++failures;                                                                            \
            printf("FAIL line %d: %s: ", __LINE__, #c);                                            \
            printf(__VA_ARGS__);                                                                   \
            printf("\n");                                                                          \
        }                                                                                          \
    } while (0)

static volatile LONG calls;
static void count_byte(void* port) {
    (void)port;
    InterlockedIncrement(&calls);
}

/* void (*)(void) is the generic function pointer: casts through it are well-defined. */
typedef void (*any_fn)(void);
static any_fn need(HMODULE library, const char* name) {
    FARPROC found = GetProcAddress(library, name);
    CHECK(found != NULL, "export %s", name);
    return (any_fn)found;
}

/* The loader binds the imports of a DLL it loads, but not always those of an EXE (Wine
   never does): bind them the way the loader would, so the exe's code can call the system. */
static int bind_imports(HMODULE module) {
    BYTE* base = (BYTE*)module;
    IMAGE_NT_HEADERS* nt = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.Size == 0)
        return 1;
    for (IMAGE_IMPORT_DESCRIPTOR* d = (IMAGE_IMPORT_DESCRIPTOR*)(base + directory.VirtualAddress);
         d->Name != 0; ++d) {
        HMODULE dll = LoadLibraryA((const char*)(base + d->Name));
        if (dll == NULL)
            return 0;
        IMAGE_THUNK_DATA* names =
            (IMAGE_THUNK_DATA*)(base +
                                (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
        IMAGE_THUNK_DATA* slots = (IMAGE_THUNK_DATA*)(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            FARPROC found;
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                found = GetProcAddress(dll, (LPCSTR)(ULONG_PTR)IMAGE_ORDINAL(names->u1.Ordinal));
            else
                found = GetProcAddress(
                    dll,
                    (const char*)((IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData))->Name);
            if (found == NULL)
                return 0;
            DWORD old;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            slots->u1.Function = (ULONG_PTR)found;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
        }
    }
    return 1;
}

int main(void) {
    HMODULE library = LoadLibraryA("Farlink.exe");
    if (library == NULL || !bind_imports(library)) {
        printf("FAIL loading Farlink.exe: %lu\n", GetLastError());
        return 1;
    }
    const char* names[] = {"SCPortOpen",
                           "SCPortClose",
                           "SCIsPortFree",
                           "SCInstallUserRoutine",
                           "SCSetDtr",
                           "SCSetRts",
                           "SCAlloc",
                           "SCFree",
                           "SCClearTxBuffer",
                           "SCClearRxBuffer",
                           "SCSpaceUsedInRxBuffer",
                           "SCSpaceFreeInRxBuffer",
                           "SCIsTxEmpty",
                           "SCIsRxEmpty",
                           "SCIsRxFull",
                           "SCPeekChar",
                           "SCPeekLastChar",
                           "SCReadChar",
                           "SCReadBuffer",
                           "SCResetSerial",
                           "SCBreak",
                           "SCSendTxBuf",
                           "SCWaitTxEmpty",
                           "SCVerifyTimeout",
                           "SCWaitMessage",
                           "SCUserAbort",
                           "SCWindowsExecute",
                           "SCFormatErrorMessage",
                           "SCUserRoutineDefault"};
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        need(library, names[i]);
    const char* aliases[] = {"SCCapture", "SCRelease", "SCSetYieldRx", "SCSetYieldTx", "SCTrace"};
    any_fn empty = need(library, "SCUserRoutineDefault");
    for (size_t i = 0; i < sizeof aliases / sizeof aliases[0]; ++i)
        CHECK(need(library, aliases[i]) == empty, "%s is the empty routine", aliases[i]);
#ifdef _WIN64
    need(library, "?HandInts@@YAXPEAUgeneric_port@@@Z");
#else
    need(library, "?HandInts@@YAXPAUgeneric_port@@@Z");
#endif

    format_fn format = (format_fn)need(library, "SCFormatErrorMessage");
    struct {
        int32_t code;
        const char* text;
    } texts[] = {{0, "OK"},
                 {-7, "Serial port already in use"},
                 {-15, "Timeout waiting start a message"},
                 {-31, "Framing, overrun and parity"},
                 {-32, "Timeout waiting a tx message to finish"},
                 {-33, "Status: -33"},
                 {5, "Status: 5"}};
    for (size_t i = 0; i < sizeof texts / sizeof texts[0]; ++i) {
        char text[40];
        format(texts[i].code, text);
        CHECK(strcmp(text, texts[i].text) == 0, "text of %d: %s", (int)texts[i].code, text);
    }

    open_fn open = (open_fn)need(library, "SCPortOpen");
    config_t config;
    memset(&config, 0, sizeof config);
    config.port_index = 0;
    config.baud_rate = 19200;
    config.data_bits = 8;
    config.stop_bits = 1;
    config.parity = 2;
    config.start_timeout = config.end_timeout = config.char_timeout = 2000;
    config.rx_size = 2048;
    int32_t error = 1;
    void* port = open(NULL, &config, &error);
    CHECK(port != NULL && error == 0, "open COM1: %d", (int)error);
    if (port == NULL)
        return 1;
    ((install_fn)need(library, "SCInstallUserRoutine"))(port, count_byte);
    static const uint8_t ping[] = "PING";
    CHECK(((send_fn)need(library, "SCSendTxBuf"))(port, ping, 4) == 1, "send");
    CHECK(((query_fn)need(library, "SCWaitTxEmpty"))(port) == 1, "transmission ended");
    query_fn used = (query_fn)need(library, "SCSpaceUsedInRxBuffer");
    const DWORD start = GetTickCount();
    while (used(port) < 4 && GetTickCount() - start < 5000)
        Sleep(10);
    uint8_t answer[8] = {0};
    CHECK(((read_fn)need(library, "SCReadBuffer"))(port, answer, 8) == 4 &&
              memcmp(answer, "PONG", 4) == 0,
          "answer %.4s", answer);
    CHECK(calls == 4, "user routine calls %ld", calls);
    ((port_fn)need(library, "SCPortClose"))(port);
    CHECK(((index_fn)need(library, "SCIsPortFree"))(0) == 1, "port free after close");
    printf("failures %d\n", failures);
    fflush(stdout);
    return failures == 0 ? 0 : 1;
}
