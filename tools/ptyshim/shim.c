/* LD_PRELOAD shim that lets Wine's serial code run on pseudo-terminals by answering modem ioctls.
 */

/*
 * A pty has no modem lines, no error counters and no line-status register, so
 * the kernel refuses TIOCMGET, TIOCGICOUNT and TIOCSERGETLSR on it. Wine needs
 * those for WaitCommEvent, ClearCommError and overlapped I/O; without them its
 * waits abort. This library answers them, but only when the real call fails
 * with ENOTTY or EINVAL, so a real serial port is never touched.
 *
 * The modem status it reports is DTR and RTS as last set through the shim,
 * plus CTS, DSR and CD always raised (a peer that is present and ready).
 * When FARLINK_SHIM_LOG names a file, every DTR/RTS change is appended there as
 * one line: "<tty path> DTR=<0|1> RTS=<0|1>", so a test can see line control.
 *
 * 32-bit glibc built with 64-bit time routes ioctl through __ioctl_time64,
 * which Wine's 32-bit ntdll calls directly; both entry points are wrapped.
 *
 * Wine does not keep a COM port to one opener, as Windows does. Tests stand in
 * for "another program holds the port" by holding the tty with TIOCEXCL; the
 * kernel lets root past that, so opens through this library (the wineserver
 * opens devices) refuse such a tty with EBUSY for everyone.
 *
 * A process started with FARLINK_SHIM_REFUSE_WRITES=1 gets EIO for every write
 * to a pty's terminal side, as from a port whose device has failed; a test uses
 * it to see what becomes of a call whose data cannot be sent.
 *
 * A process started with FARLINK_SHIM_FAULT_FILE=<path> gets EIO for every read
 * and write on a pty's terminal side while that file exists: a port whose
 * device fails for a while and then recovers. The test telephony provider makes
 * and removes the file (its comm-fault event), so the fault comes at a moment of
 * the call the scenario chooses.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

enum { MAX_LINES = 32 };

/* Line state is kept per terminal device, not per descriptor, so a port that
 * is closed and opened again (or duplicated) keeps what it was told. */
struct line_state {
    dev_t device;
    int bits; /* TIOCM_DTR | TIOCM_RTS */
};

static struct line_state lines[MAX_LINES];
static int line_count;
static pthread_mutex_t lines_lock = PTHREAD_MUTEX_INITIALIZER;

static ioctl_fn real_entry(const char* name) {
    ioctl_fn fn = (ioctl_fn)dlsym(RTLD_NEXT, name);
    return fn ? fn : (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
}

static int device_of(int fd, dev_t* device) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    *device = st.st_rdev;
    return 1;
}

/* Returns the slot for the device, creating it with DTR and RTS raised, as a
 * serial driver does on open. Caller holds lines_lock. */
static struct line_state* line_for(dev_t device) {
    for (int i = 0; i < line_count; i++)
        if (lines[i].device == device)
            return &lines[i];
    if (line_count == MAX_LINES)
        return NULL;
    lines[line_count].device = device;
    lines[line_count].bits = TIOCM_DTR | TIOCM_RTS;
    return &lines[line_count++];
}

static void log_change(int fd, int bits) {
    const char* log_path = getenv("FARLINK_SHIM_LOG");
    if (!log_path || !*log_path)
        return;
    char link[64], tty[256];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, tty, sizeof tty - 1);
    if (n < 0)
        n = snprintf(tty, sizeof tty, "fd%d", fd);
    tty[n] = '\0';
    char line[320];
    int len = snprintf(line, sizeof line, "%s DTR=%d RTS=%d\n", tty, (bits & TIOCM_DTR) != 0,
                       (bits & TIOCM_RTS) != 0);
    /* One write with O_APPEND keeps lines whole when several processes log. */
    int out = open(log_path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (out >= 0) {
        if (write(out, line, (size_t)len) < 0) {
            /* Nothing sensible to do: the log is a diagnostic aid. */
        }
        close(out);
    }
}

/* Applies a DTR/RTS request the pty refused. Returns 0, or -1 for a device the
 * shim cannot track. */
static int set_lines(int fd, unsigned long request, const int* arg) {
    dev_t device;
    if (!arg || !device_of(fd, &device))
        return -1;
    pthread_mutex_lock(&lines_lock);
    struct line_state* line = line_for(device);
    if (!line) {
        pthread_mutex_unlock(&lines_lock);
        return -1;
    }
    int wanted = *arg & (TIOCM_DTR | TIOCM_RTS);
    int bits = line->bits;
    if (request == TIOCMSET)
        bits = wanted;
    else if (request == TIOCMBIS)
        bits |= wanted;
    else
        bits &= ~wanted;
    int changed = bits != line->bits;
    line->bits = bits;
    pthread_mutex_unlock(&lines_lock);
    if (changed)
        log_change(fd, bits);
    return 0;
}

static int modem_status(int fd, int* arg) {
    dev_t device;
    if (!arg || !device_of(fd, &device))
        return -1;
    pthread_mutex_lock(&lines_lock);
    struct line_state* line = line_for(device);
    int bits = line ? line->bits : (TIOCM_DTR | TIOCM_RTS);
    pthread_mutex_unlock(&lines_lock);
    *arg = bits | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
    return 0;
}

static int line_status(ioctl_fn real, int fd, unsigned int* arg) {
    int pending = 0;
    if (!arg || real(fd, TIOCOUTQ, &pending) != 0)
        return -1;
    *arg = pending == 0 ? TIOCSER_TEMT : 0;
    return 0;
}

/* Answers a request the real ioctl refused; returns -1 to keep the refusal. */
static int emulate(ioctl_fn real, int fd, unsigned long request, void* arg) {
    switch (request) {
    case TIOCMGET:
        return modem_status(fd, arg);
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
        return set_lines(fd, request, arg);
    case TIOCGICOUNT:
        if (!arg)
            return -1;
        memset(arg, 0, sizeof(struct serial_icounter_struct));
        return 0;
    case TIOCSERGETLSR:
        return line_status(real, fd, arg);
    default:
        return -1;
    }
}

static int wrapped(ioctl_fn real, int fd, unsigned long request, void* arg) {
    int result = real(fd, request, arg);
    if (result == 0 || (errno != ENOTTY && errno != EINVAL))
        return result;
    int saved = errno;
    if (emulate(real, fd, request, arg) == 0)
        return 0;
    errno = saved;
    return result;
}

typedef int (*open_fn)(const char*, int, ...);

static int held_exclusively(int fd) {
    static ioctl_fn real;
    if (!real)
        real = real_entry("ioctl");
    int exclusive = 0;
    return isatty(fd) && real(fd, TIOCGEXCL, &exclusive) == 0 && exclusive;
}

static int checked_open(const char* name, const char* path, int flags, va_list ap) {
    open_fn real = (open_fn)dlsym(RTLD_NEXT, name);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(ap, mode_t) : 0;
    int fd = real(path, flags, mode);
    if (fd >= 0 && held_exclusively(fd)) {
        close(fd);
        errno = EBUSY;
        return -1;
    }
    return fd;
}

int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    int fd = checked_open("open", path, flags, ap);
    va_end(ap);
    return fd;
}

int open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    int fd = checked_open("open64", path, flags, ap);
    va_end(ap);
    return fd;
}

int ioctl(int fd, unsigned long request, ...) {
    static ioctl_fn real;
    if (!real)
        real = real_entry("ioctl");
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    return wrapped(real, fd, request, arg);
}

int __ioctl_time64(int fd, unsigned long request, ...) {
    static ioctl_fn real;
    if (!real)
        real = real_entry("__ioctl_time64");
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    return wrapped(real, fd, request, arg);
}

typedef ssize_t (*write_fn)(int, const void*, size_t);

/* The terminal sides of Unix98 ptys have majors 136 to 143. */
static int pty_terminal(int fd) {
    dev_t device;
    return device_of(fd, &device) && major(device) >= 136 && major(device) <= 143;
}

/* The file whose existence means the port has failed; NULL when the process has none. */
static const char* fault_file(void) {
    static int read_once;
    static const char* path;
    if (!read_once) {
        const char* value = getenv("FARLINK_SHIM_FAULT_FILE");
        path = value && *value ? value : NULL;
        read_once = 1;
    }
    return path;
}

static int port_failed(int fd) {
    const char* path = fault_file();
    return path && pty_terminal(fd) && access(path, F_OK) == 0;
}

typedef ssize_t (*read_fn)(int, void*, size_t);

ssize_t read(int fd, void* bytes, size_t count) {
    static read_fn real;
    if (!real)
        real = (read_fn)dlsym(RTLD_NEXT, "read");
    if (port_failed(fd)) {
        errno = EIO;
        return -1;
    }
    return real(fd, bytes, count);
}

ssize_t write(int fd, const void* bytes, size_t count) {
    static write_fn real;
    if (!real)
        real = (write_fn)dlsym(RTLD_NEXT, "write");
    /* Read once: every write of the process, Wine's own requests included, comes here. */
    static int refuse = -1;
    if (refuse < 0) {
        const char* value = getenv("FARLINK_SHIM_REFUSE_WRITES");
        refuse = value && strcmp(value, "1") == 0;
    }
    if ((refuse && pty_terminal(fd)) || port_failed(fd)) {
        errno = EIO;
        return -1;
    }
    return real(fd, bytes, count);
}
