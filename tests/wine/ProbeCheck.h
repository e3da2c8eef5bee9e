// Checks for Windows probe programs run under Wine: a failure prints its line and counts, the
// run goes on, and the exit code tells the harness how many failed.
#pragma once
#include <windows.h>

#include <cstdarg>
#include <cstdio>

inline int g_failures;

// One line on standard output, flushed at once so the harness sees it while the program runs.
inline void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
    std::fflush(stdout);
}

#define CHECK(condition, ...)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            ++g_failures;                                                                          \
            std::printf("FAIL line %d: %s: ", __LINE__, #condition);                               \
            Say(__VA_ARGS__);                                                                      \
        }                                                                                          \
    } while (0)

// Milliseconds from the performance counter.
inline double NowMs() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}
