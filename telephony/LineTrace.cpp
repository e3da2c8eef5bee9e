// The callback trace: one debug line per line-callback message.
#include "telephony/TapiCode.h"
#include "telephony/TapiTrace.h"
#include <cstring>

namespace {

// The title of the window a dropped request names, for the trace.
std::string WindowTitle(uint64_t window) {
    char title[1025] = {};
    SendMessageA(reinterpret_cast<HWND>(static_cast<UINT_PTR>(window)), WM_GETTEXT, sizeof title,
                 reinterpret_cast<LPARAM>(title));
    title[sizeof title - 1] = '\0';
    return title;
}

} // namespace

char* FormatLineCallback(char* buffer, DWORD device, DWORD message, DWORD_PTR instance,
                         DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR param3) {
    if (buffer == nullptr) {
        buffer = static_cast<char*>(LocalAlloc(LPTR, kLineCallbackTextSize));
        if (buffer == nullptr)
            return nullptr;
    }
    LineCallbackValues values{device, message, instance, param1, param2, param3};
    FormatLineCallbackText(buffer, kLineCallbackTextSize, values, WindowTitle);
    return buffer;
}

void TraceLineCallback(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR param1,
                       DWORD_PTR param2, DWORD_PTR param3) {
    char line[kLineCallbackTextSize + 4];
    FormatLineCallback(line, device, message, instance, param1, param2, param3);
    strcat(line, "\r\n");
    OutputDebugStringA(line);
}
