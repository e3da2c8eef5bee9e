// Window messages through which the links drive the main dialog. Each carries the call attempt
// it was posted for: a message that waited in the queue while its attempt ended is dropped.
#pragma once
#include <windows.h>

// A block of bytes from the station. wParam: byte count; lParam: a LocalAlloc block that
// belongs to the dialog from the moment it is posted. After the bytes come a 0 and a
// LinkBlockTag (unaligned): whose block it is.
constexpr UINT WM_REMOTE_DATA = WM_USER + 1000;
// The link is up: send the login frame. wParam: the call attempt it was posted for; lParam 0.
constexpr UINT WM_REMOTE_CONNECTED = WM_USER + 1001;
// The modem's data channel has failed: hang up. wParam: the call attempt whose channel failed.
constexpr UINT WM_CHANNEL_FAILED = WM_USER + 1003;

// Who read a block: the call attempt, and the read's epoch on that attempt's link. The modem's
// channel counts an epoch up when the login goes out, so bytes read before it are told apart
// from the answer; the cable's answer comes with epoch 1.
struct LinkBlockTag {
    unsigned attempt;
    unsigned epoch;
};

constexpr WORD ID_DIAL = 3;
constexpr WORD ID_HANGUP = 6;
