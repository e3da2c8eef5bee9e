// Modem data channel: owns the connected modem's comm handle, hands every block the station
// sends to the main dialog and writes the login frame.
#pragma once
#include <windows.h>

// Takes over a connected modem's comm handle and starts reading it for call attempt tag
// (carried by every block it posts, so the dialog can tell an earlier call's blocks). 1 when
// the channel now owns the handle; 0 when it refused it or could not start, and the handle
// stays the caller's to close.
int StartCommChannel(HANDLE handle, unsigned tag);

// Ends the read thread and closes the handle; nothing when no handle is held.
void StopCommChannel();

// Writes count bytes to the modem from the user-interface thread, waiting at most about
// 5 s. 1 when all were written; otherwise 0, with the reason in the Status box.
BOOL WriteComm(const void* bytes, DWORD count);

// Begins the login's epoch, just before the login is written: the read under way (which
// began before the login, so nothing it holds can answer it) is ended, bytes still waiting
// are discarded, and the next read is tagged with the new epoch. Waits at most 2 s for the
// read thread; false when it did not follow (or no channel runs).
bool RearmCommChannel();

// Asks the main dialog to end the call whose channel failed (WM_CHANNEL_FAILED, tagged with
// the channel's attempt), to run on the dialog's own thread.
void RequestHangup();
