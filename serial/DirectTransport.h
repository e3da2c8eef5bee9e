// The direct serial link to the station: connect, send one frame, hang up.
#pragma once

// Opens COM(portIndex+1) and makes the connection handshake. Nonzero when the
// station acknowledged (or a port is already open), 0 otherwise.
int DirectConnect(int portIndex);
// Sends one frame and waits for the acknowledged answer, which is posted to
// the main window as WM_REMOTE_DATA, tagged with attempt. 0 on success, nonzero otherwise.
int DirectSend(const unsigned char* bytes, int count, unsigned attempt);
// Sends the hang-up request and closes the port; nothing when none is open.
void DirectHangup();
