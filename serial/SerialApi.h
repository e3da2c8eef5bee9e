/* Exported serial port interface of Farlink.exe: records, status codes and the SC functions. */
#ifndef FARLINK_SERIAL_SERIALAPI_H
#define FARLINK_SERIAL_SERIALAPI_H

/*
 * Up to eight serial ports, numbered from 0 (port index n is the device COM(n+1)).
 * Every function is exported from Farlink.exe under its plain name with the C calling
 * convention, except HandInts (see there).
 *
 * Loading the library into another program: use sc_load_library from SerialLoader.h (copy it
 * and ImageFixups.h into the program, or include them from here), then GetProcAddress:
 *
 *     char error[SC_LOAD_ERROR_SIZE];
 *     HMODULE farlink = sc_load_library("Farlink.exe", error, sizeof error);
 *     if (farlink == NULL) {
 *         fprintf(stderr, "%s\n", error); // "Farlink.exe: <why>"; GetLastError() has the code
 *         return 1;
 *     }
 *     typedef generic_port*(SC_CALL * open_fn)(void*, port_config*, int32_t*);
 *     open_fn open = (open_fn)GetProcAddress(farlink, "SCPortOpen");
 *     ...
 *     FreeLibrary(farlink); // after the last port is closed
 *
 * LoadLibrary alone is not enough: loaded as a library, an exe gets its base relocations and
 * import bindings only from some loaders (Windows applies both, Wine neither). Without them
 * the exe's calls into the system go through empty slots, and, when the exe could not be
 * mapped at its preferred address, its absolute addresses point where it is not. 32-bit code
 * uses absolute addresses for data and import slots, so there every function that reaches
 * the C runtime or the system fails; 64-bit code mostly addresses them relative to the
 * instruction and fails less visibly (its tables of pointers are still wrong). The helper
 * applies whichever of the two the loader left undone, checks every table it reads first,
 * and refuses with a null module and a one-line reason when the image is damaged, cannot be
 * moved, or imports something that cannot be found. The client needs no particular image
 * base of its own; tests/serial/abi_client.c uses the library only this way.
 *
 * Where the 32-bit exe sits: it is linked at 0x30000000, not at the usual 0x00400000. A
 * 32-bit client's own image usually occupies 0x00400000, its main-thread stack and first
 * heaps lie low in the address space too, and DLLs prefer 0x10000000 and the system's range
 * near the top of the lower 2 GB; so 0x30000000 is usually free and the exe needs no
 * relocation there at all. The helper still copes when it is taken.
 *
 * Ownership: the library owns each generic_port from SCPortOpen to SCPortClose; the
 * caller holds its address as the port handle and must not free it. Buffers passed in
 * stay the caller's. All times are milliseconds of GetTickCount (unsigned 32-bit).
 *
 * Threads: each open port has a receive thread that appends incoming bytes and calls the
 * port's user routine once per byte. The buffer functions below take a short lock shared
 * with that thread, so they are safe from any thread; the user routine runs outside that
 * lock and may call them too.
 *
 * This header includes no Windows header: handles are void*, the overlapped records are
 * laid out exactly like the platform's OVERLAPPED.
 */

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define SC_CALL __cdecl
#else
#define SC_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes. A failed open returns one through SCPortOpen's error argument; line
   failures, failed sends and timeouts leave one in generic_port.status. */
enum {
    SC_OK = 0,
    SC_INVALID_PORT = -1,
    SC_INVALID_BAUD_RATE = -2,
    SC_INVALID_BITS = -3,
    SC_INVALID_STOP_BITS = -4,
    SC_INVALID_PARITY = -5,
    SC_INVALID_IRQ = -6,
    SC_PORT_IN_USE = -7,
    SC_INVALID_BUFFER_SIZE = -8,
    SC_NO_MEMORY = -9,
    SC_TX_BUFFER_EMPTY = -10,
    SC_TX_BUFFER_FULL = -11,
    SC_RX_BUFFER_EMPTY = -12,
    SC_RX_BUFFER_FULL = -13,
    SC_TIMEOUT_CTS = -14,
    SC_TIMEOUT_MESSAGE_START = -15,
    SC_TIMEOUT_MESSAGE_END = -16,
    SC_TIMEOUT_RX_CHAR = -17,
    SC_TIMEOUT_TX_CHAR = -18,
    SC_NO_CARRIER = -19,
    SC_NO_DSR = -20,
    SC_NO_UART = -21,
    SC_CANNOT_SEND = -22,
    SC_USER_ABORT = -23,
    SC_NOT_SUPPORTED = -24,
    SC_OVERRUN = -25,
    SC_PARITY = -26,
    SC_OVERRUN_PARITY = -27,
    SC_FRAMING = -28,
    SC_FRAMING_OVERRUN = -29,
    SC_FRAMING_PARITY = -30,
    SC_FRAMING_OVERRUN_PARITY = -31,
    SC_TIMEOUT_TX_MESSAGE = -32
};

/* Bit of port_config.options: leave DTR low at open. */
#define SC_OPTION_NO_DTR 0x8000u

/* rts_mode values. */
#define SC_RTS_UNTOUCHED 0
#define SC_RTS_TOGGLE 1
#define SC_RTS_TOGGLE_ECHO 2

/* Parity values. */
#define SC_PARITY_EVEN 0
#define SC_PARITY_ODD 1
#define SC_PARITY_NONE 2

/* Configuration passed to SCPortOpen. Its layout is fixed (44 bytes, little-endian, no
   padding): zero the whole record, then fill it. */
typedef struct port_config {
    int32_t port_index;     /*  0: zero-based, 0..7 */
    uint32_t baud_rate;     /*  4: bits per second, given to the device as is */
    int32_t data_bits;      /*  8: only the low 8 bits are used */
    int32_t stop_bits;      /* 12: 1 or 2 */
    int32_t parity;         /* 16: 0 even, 1 odd, 2 none */
    uint16_t start_timeout; /* 20: 0 or above 60000 means 60000 */
    uint16_t end_timeout;   /* 22: 0 = no limit */
    uint16_t char_timeout;  /* 24: 0 or above 60000 means 60000 */
    uint16_t cts_timeout;   /* 26: longest wait for CTS before a send */
    int32_t wait_cts;       /* 28: nonzero: wait for a CTS change before each send */
    int32_t rts_mode;       /* 32: 0 untouched, nonzero raised per send, 2 also echo removal */
    uint32_t options;       /* 36: SC_OPTION_NO_DTR; other bits ignored */
    uint16_t echo_size;     /* 40: echo buffer size */
    uint16_t rx_size;       /* 42: receive buffer size, clamped to 1024..32767 */
} port_config;

/* Same layout as the platform's OVERLAPPED record. */
typedef struct sc_overlapped {
    uintptr_t internal;
    uintptr_t internal_high;
    uint32_t offset;
    uint32_t offset_high;
    void* event;
} sc_overlapped;

struct generic_port;
/* Called on the receive thread after every received byte that was not taken as echo. It
   finds the byte with SCPeekLastChar, may change status, msg_complete and msg_state, and
   must return quickly. It must not call SCPortClose on its own port. */
typedef void(SC_CALL* sc_user_routine)(struct generic_port* port);

/* One open port. Fields up to user_routine are the public record; the rest is private to
   the library. The receive buffer is read through the functions below, which keep
   rx_buf[0] the oldest byte and rx_buf[rx_count - 1] the newest. */
typedef struct generic_port {
    int32_t port_index;
    void* comm_handle; /* INVALID_HANDLE_VALUE after close */
    void* rx_thread;   /* null when the receive thread could not be created */
    uint32_t rx_thread_id;
    void* owner;                     /* first argument of SCPortOpen, not used by the library */
    volatile int32_t status;         /* SC_OK or a negative status code */
    volatile int32_t msg_complete;   /* set by the user routine at the end of a message */
    volatile int32_t msg_state;      /* owned by the user routine */
    uint16_t start_timeout;          /* end of transmission to first received byte */
    uint16_t end_timeout;            /* first received byte to end of message; 0 = none */
    uint16_t char_timeout;           /* longest gap between two received bytes */
    volatile uint32_t tx_end_tick;   /* last transmitter-empty event; 0 = never */
    volatile uint32_t first_rx_tick; /* first byte since the last send; 0 = none */
    volatile uint32_t last_rx_tick;  /* newest byte; 0 after each send */
    sc_overlapped rx_overlapped;
    sc_overlapped tx_overlapped;
    volatile int32_t tx_empty; /* 0 from a send until the transmitter is empty */
    uint8_t* rx_buf;           /* oldest held byte */
    uint16_t rx_size;          /* capacity, 1024..32767 */
    volatile uint16_t rx_count;
    sc_user_routine user_routine;

    /* Private: the receive window and the lock shared with the receive thread. */
    uint8_t* rx_base;
    uint32_t rx_head;
    void* rx_guard;
} generic_port;

/* --- Opening and closing --- */

/* Opens COM(config->port_index + 1) and starts its receive thread. Returns the port and
   *error = SC_OK, or null and *error = SC_PORT_IN_USE (index outside 0..7 or open),
   SC_NO_MEMORY or SC_INVALID_PORT (device missing, busy, or a bad parity or stop-bit
   value); a failed open leaves no device open. config is only read. */
generic_port* SC_CALL SCPortOpen(void* owner, port_config* config, int32_t* error);
/* Ends the receive thread, closes the device and frees the port. Null: nothing. */
void SC_CALL SCPortClose(generic_port* port);
/* 1 when index is 0..7 and no port is open there, else 0. */
int32_t SC_CALL SCIsPortFree(int32_t index);

/* --- User routine, line control, memory --- */

/* Replaces the user routine (null restores the empty default). Null port: nothing. */
void SC_CALL SCInstallUserRoutine(generic_port* port, sc_user_routine routine);
/* Raise (on != 0) or drop DTR / RTS. Returns the platform call's result; 0 for null. */
int32_t SC_CALL SCSetDtr(generic_port* port, uint16_t on);
int32_t SC_CALL SCSetRts(generic_port* port, uint16_t on);
/* count * size bytes, uninitialised; null when negative, overflowing or out of memory.
   Free with SCFree. */
void* SC_CALL SCAlloc(int32_t count, int32_t size);
void SC_CALL SCFree(void* block);
/* Does nothing, whatever it is given. Also exported as SCCapture, SCRelease,
   SCSetYieldRx, SCSetYieldTx and SCTrace. */
void SC_CALL SCUserRoutineDefault(generic_port* port);

/* --- Receive buffer. Null port: 0 / nothing. --- */

/* Empties the receive buffer and the device's input queue. */
void SC_CALL SCClearRxBuffer(generic_port* port);
/* Discards the device's output queue and any echo still expected. */
void SC_CALL SCClearTxBuffer(generic_port* port);
int32_t SC_CALL SCSpaceUsedInRxBuffer(generic_port* port);
int32_t SC_CALL SCSpaceFreeInRxBuffer(generic_port* port);
int32_t SC_CALL SCIsTxEmpty(generic_port* port);
int32_t SC_CALL SCIsRxEmpty(generic_port* port); /* 0 for a null port */
int32_t SC_CALL SCIsRxFull(generic_port* port);
/* *out = byte at position (0 = oldest), nothing removed; 1, or 0 with *out = 0. */
int32_t SC_CALL SCPeekChar(generic_port* port, uint32_t position, uint8_t* out);
/* *out = newest byte; 1, or 0 with *out = 0 when empty. */
int32_t SC_CALL SCPeekLastChar(generic_port* port, uint8_t* out);
/* Removes the oldest byte into *out; 1, or 0 with *out = 0 when empty. */
int32_t SC_CALL SCReadChar(generic_port* port, uint8_t* out);
/* Removes up to max bytes (oldest first) into destination; returns how many (partial
   reads are normal: whatever is held). max <= 0 reads nothing. */
int32_t SC_CALL SCReadBuffer(generic_port* port, uint8_t* destination, int32_t max);

/* --- Line operations and sending --- */

/* Waits until the device has sent what it holds; 1 (0 for null). */
int32_t SC_CALL SCResetSerial(generic_port* port);
/* Sends a break of duration ms; 0 without sending while status is set. */
int32_t SC_CALL SCBreak(generic_port* port, uint32_t duration);
/* Starts sending length bytes: resets status, msg_complete and the rx ticks, empties the
   receive buffer. data must stay unchanged until SCIsTxEmpty is 1 or SCWaitTxEmpty has
   returned. An earlier send that has not ended is aborted first (its unsent bytes are
   dropped). 1 when started, 0 with status SC_CANNOT_SEND. */
int32_t SC_CALL SCSendTxBuf(generic_port* port, const uint8_t* data, int32_t length);
/* Waits for the current send to end; 1, or 0 with status set (-32 or a line error). */
int32_t SC_CALL SCWaitTxEmpty(generic_port* port);

/* --- Waiting for an answer --- */

/* One check of the timeout model: sets status to -32, a line error, -15, -16 or -17 when
   the exchange has failed; otherwise changes nothing. Call it repeatedly while waiting. */
void SC_CALL SCVerifyTimeout(generic_port* port);
/* Dispatches window messages until msg_complete (1) or status is set (0). */
int32_t SC_CALL SCWaitMessage(generic_port* port);
/* status = SC_USER_ABORT; a waiting loop then ends. */
void SC_CALL SCUserAbort(generic_port* port);
/* Dispatches at most one message of the calling thread; leaves WM_QUIT, WM_CLOSE and
   WM_COMMAND 0xE141 (application exit) queued. */
void SC_CALL SCWindowsExecute(void);
/* Writes the text of code ("Status: %d" for unknown codes); text must hold 40 bytes. */
void SC_CALL SCFormatErrorMessage(int32_t code, char* text);

/* The user routine of the program's direct-connection transport: decodes the station's
   answers. Exported under the decorated name ?HandInts@@YAXPAUgeneric_port@@@Z (32-bit)
   or ?HandInts@@YAXPEAUgeneric_port@@@Z (64-bit); look it up with that name. */
void SC_CALL HandInts(generic_port* port);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#define SC_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#define SC_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif
SC_STATIC_ASSERT(offsetof(port_config, port_index) == 0, "port_index offset");
SC_STATIC_ASSERT(offsetof(port_config, baud_rate) == 4, "baud_rate offset");
SC_STATIC_ASSERT(offsetof(port_config, data_bits) == 8, "data_bits offset");
SC_STATIC_ASSERT(offsetof(port_config, stop_bits) == 12, "stop_bits offset");
SC_STATIC_ASSERT(offsetof(port_config, parity) == 16, "parity offset");
SC_STATIC_ASSERT(offsetof(port_config, start_timeout) == 20, "start_timeout offset");
SC_STATIC_ASSERT(offsetof(port_config, end_timeout) == 22, "end_timeout offset");
SC_STATIC_ASSERT(offsetof(port_config, char_timeout) == 24, "char_timeout offset");
SC_STATIC_ASSERT(offsetof(port_config, cts_timeout) == 26, "cts_timeout offset");
SC_STATIC_ASSERT(offsetof(port_config, wait_cts) == 28, "wait_cts offset");
SC_STATIC_ASSERT(offsetof(port_config, rts_mode) == 32, "rts_mode offset");
SC_STATIC_ASSERT(offsetof(port_config, options) == 36, "options offset");
SC_STATIC_ASSERT(offsetof(port_config, echo_size) == 40, "echo_size offset");
SC_STATIC_ASSERT(offsetof(port_config, rx_size) == 42, "rx_size offset");
SC_STATIC_ASSERT(sizeof(port_config) == 44, "port_config is 44 bytes");
SC_STATIC_ASSERT(sizeof(sc_overlapped) == 3 * sizeof(void*) + 8, "OVERLAPPED layout");
#undef SC_STATIC_ASSERT

#endif
