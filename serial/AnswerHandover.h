// Hands a station answer to the dialog as WM_REMOTE_DATA, in a local-heap block it will free.
#pragma once
#include "shell/LinkMessages.h"

#include <windows.h>

#include <cstdint>

// The platform calls the hand-over makes, replaceable so their failures can be tried.
struct HandoverCalls {
    HLOCAL(WINAPI* localAlloc)(UINT, SIZE_T) = LocalAlloc;
    HLOCAL(WINAPI* localFree)(HLOCAL) = LocalFree;
    BOOL(WINAPI* postMessage)(HWND, UINT, WPARAM, LPARAM) = PostMessageA;
};

// Copies count bytes into a new block, with a 0 and tag after them, and posts it to window. 0 when posted (the block is
// then the window's); otherwise a negative status code, with nothing posted and nothing
// left allocated: -9 (SC_NO_MEMORY) when the block cannot be had, -22 (SC_CANNOT_SEND)
// when the message cannot be posted.
int32_t HandOverAnswer(HWND window, const uint8_t* bytes, int32_t count, LinkBlockTag tag,
                       const HandoverCalls& calls = HandoverCalls());
