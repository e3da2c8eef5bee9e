// Modem data channel: handing a block the station sent to the main dialog.
#include "shell/AppShell.h"
#include "shell/LinkMessages.h"
#include "modem/CommChannel.h"
#include "shell/DebugTrace.h"

#include <cstring>

bool DeliverCommBytes(const char* bytes, DWORD count, unsigned epoch) {
    if (count == 0)
        return true;
    OutputDebugStringA("Got something from Comm port!!!\n");
    const LinkBlockTag tag{TheCommChannel().tag, epoch};
    char* block = static_cast<char*>(LocalAlloc(LPTR, static_cast<SIZE_T>(count) + 1 + sizeof tag));
    if (block == nullptr) {
        COMM_REPORT_LAST_ERROR("LocalAlloc: ");
        return false;
    }
    std::memcpy(block, bytes, count);
    block[count] = 0;
    std::memcpy(block + count + 1, &tag, sizeof tag);
    // A null window would post to this thread's own queue, which no one reads.
    HWND window = MainWindowHandle();
    if (window != nullptr &&
        PostMessageA(window, WM_REMOTE_DATA, count, reinterpret_cast<LPARAM>(block)))
        return true; // the dialog's now
    if (window == nullptr)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    COMM_REPORT_LAST_ERROR("Unable to PostMessage: ");
    LocalFree(block);
    return false;
}
