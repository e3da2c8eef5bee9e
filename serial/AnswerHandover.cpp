// Hands a station answer to the dialog as WM_REMOTE_DATA, in a local-heap block it will free.
#include "serial/AnswerHandover.h"

#include "shell/LinkMessages.h"
#include "serial/SerialApi.h"

#include <cstdio>
#include <cstring>

int32_t HandOverAnswer(HWND window, const uint8_t* bytes, int32_t count, LinkBlockTag tag,
                       const HandoverCalls& calls) {
    char line[128];
    // The 0 after the bytes: a zero-length answer still gets a block of its own.
    HLOCAL block = calls.localAlloc(LMEM_FIXED, static_cast<SIZE_T>(count) + 1 + sizeof tag);
    if (block == nullptr) {
        std::snprintf(line, sizeof line,
                      "DirectSend: no memory for the station's answer of %d bytes\n",
                      static_cast<int>(count));
        OutputDebugStringA(line);
        return SC_NO_MEMORY;
    }
    std::memcpy(block, bytes, static_cast<size_t>(count));
    static_cast<uint8_t*>(block)[count] = 0;
    std::memcpy(static_cast<uint8_t*>(block) + count + 1, &tag, sizeof tag);
    if (!calls.postMessage(window, WM_REMOTE_DATA, static_cast<WPARAM>(count),
                           reinterpret_cast<LPARAM>(block))) {
        std::snprintf(line, sizeof line,
                      "DirectSend: could not post the station's answer. Error = %lu\n",
                      GetLastError());
        OutputDebugStringA(line);
        calls.localFree(block);
        return SC_CANNOT_SEND;
    }
    return 0;
}
