// Waits that keep the user-interface thread's messages served.
#pragma once
#include <windows.h>

// Dispatches this thread's window messages until milliseconds have passed
// since start (a GetTickCount reading), sleeping while none are pending.
void ServeMessagesUntil(DWORD start, DWORD milliseconds);
