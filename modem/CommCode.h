// Modem data channel: writes to the connected modem's comm handle.
#pragma once
#include <windows.h>

// Writes count bytes to the modem; failures are reported in the Status box.
BOOL WriteComm(const void* bytes, DWORD count);
