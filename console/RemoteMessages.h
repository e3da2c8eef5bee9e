// Window messages through which the link layers drive the main dialog.
#pragma once
#include <windows.h>

// A block of bytes from the station. wParam: byte count; lParam: a LocalAlloc
// block that belongs to the dialog from the moment it is posted.
constexpr UINT WM_REMOTE_DATA = WM_USER + 1000;
// The link is up: send the login frame. wParam: the modem call attempt it was
// posted for (see BeginCallAttempt), 0 for the cable; lParam 0.
constexpr UINT WM_REMOTE_CONNECTED = WM_USER + 1001;
// A block of bytes from the modem's data channel: as WM_REMOTE_DATA, and after
// the 0 that ends the bytes, the (unaligned) unsigned tag of the call attempt
// whose channel read them.
constexpr UINT WM_MODEM_DATA = WM_USER + 1002;

constexpr WORD ID_DIAL = 3;
constexpr WORD ID_HANGUP = 6;
