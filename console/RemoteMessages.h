// Window messages through which the link layers drive the main dialog.
#pragma once
#include <windows.h>

// A block of bytes from the station. wParam: byte count; lParam: a LocalAlloc
// block that belongs to the dialog from the moment it is posted.
constexpr UINT WM_REMOTE_DATA = WM_USER + 1000;
// The link is up: send the login frame. Both parameters 0.
constexpr UINT WM_REMOTE_CONNECTED = WM_USER + 1001;

constexpr WORD ID_DIAL = 3;
constexpr WORD ID_HANGUP = 6;
