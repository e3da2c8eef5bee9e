// Message-serving waits: the telephony callback and the dialog keep running
// while the thread waits, and the thread sleeps when there is nothing to do.
#include "telephony/MessageWait.h"

void ServeMessagesUntil(DWORD start, DWORD milliseconds) {
    bool quit = false;
    WPARAM quitCode = 0;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // Not ours to act on: handed back to the loop that owns it.
                quit = true;
                quitCode = msg.wParam;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            break;
        // Wakes on any new message or when the time is up.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    }
    if (quit)
        PostQuitMessage(static_cast<int>(quitCode));
}
