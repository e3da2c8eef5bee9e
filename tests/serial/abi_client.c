/* Another program using the serial library only through Farlink.exe's exported names. */
/* It declares the interface itself, from the documented layout, and takes only the loading
   helper from the product: what it proves holds for any program written against the exports. */
#include "serial/SerialLoader.h"

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

/* The address and size the exe was linked for, from its file. */
static int linked_range(const char* path, ULONGLONG* base, DWORD* size) {
    BYTE head[1024];
    DWORD got = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    ReadFile(file, head, sizeof head, &got, NULL);
    CloseHandle(file);
    const DWORD nt = *(DWORD*)(head + 0x3C);
    if (got < 64 || nt > got - 0x78)
        return 0;
    const BYTE* optional = head + nt + 24;
    *base = *(WORD*)optional == 0x20B ? *(ULONGLONG*)(optional + 24) : *(DWORD*)(optional + 28);
    *size = *(DWORD*)(optional + 56);
    return 1;
}

/* Takes the exe's preferred range before it is loaded, so that it must be loaded elsewhere. */
static void occupy(ULONGLONG base, DWORD size) {
    MEMORY_BASIC_INFORMATION info;
    VirtualAlloc((void*)(ULONG_PTR)base, size, MEM_RESERVE, PAGE_NOACCESS);
    CHECK(VirtualQuery((void*)(ULONG_PTR)base, &info, sizeof info) == sizeof info &&
              info.State != MEM_FREE,
          "preferred range %#llx still free", base);
}

/* A copy of the exe whose relocation table is damaged, away from its address: refused whole. */
static int refuses_damaged(const char* path) {
    ULONGLONG preferred = 0;
    DWORD size = 0;
    char why[SC_LOAD_ERROR_SIZE] = "";
    CHECK(linked_range(path, &preferred, &size), "header of %s", path);
    occupy(preferred, size);
    CHECK(sc_load_library(path, why, sizeof why) == NULL &&
              GetLastError() == ERROR_BAD_EXE_FORMAT && strstr(why, "relocation block") != NULL,
          "refusal of a damaged image: %s", why);
    printf("%s\n", why);
    CHECK(GetModuleHandleA(path) == NULL, "the refused image is still loaded");
    printf("failures %d\n", failures);
    return failures == 0 ? 0 : 1;
}

/* With --away the exe's preferred range is taken first, so it is relocated on load;
   --damaged PATH checks the refusal of a broken copy. */
int main(int argc, char** argv) {
    if (argc > 2 && strcmp(argv[1], "--damaged") == 0)
        return refuses_damaged(argv[2]);
    const int away = argc > 1 && strcmp(argv[1], "--away") == 0;
    char why[SC_LOAD_ERROR_SIZE] = "";
    CHECK(sc_load_library("Missing.exe", why, sizeof why) == NULL &&
              GetLastError() == ERROR_MOD_NOT_FOUND &&
              strncmp(why, "Missing.exe: cannot be loaded", 29) == 0,
          "refusal of a missing file: %s", why);

    ULONGLONG preferred = 0;
    DWORD size = 0;
    CHECK(linked_range("Farlink.exe", &preferred, &size), "header of Farlink.exe");
    if (away)
        occupy(preferred, size);
    HMODULE library = sc_load_library("Farlink.exe", why, sizeof why);
    if (library == NULL) {
        printf("FAIL loading Farlink.exe: %s\n", why);
        return 1;
    }
    printf("Farlink.exe at %p, linked for %#llx\n", (void*)library, preferred);
    CHECK(!away || (ULONG_PTR)library != preferred, "loaded at its preferred address");
    CHECK(sc_load_library("Farlink.exe", why, sizeof why) == library, "second load: %s", why);
    FreeLibrary(library);

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
