// Modem data channel stand-in until modem calls are wired.
#include "modem/CommCode.h"

BOOL WriteComm(const void*, DWORD) { return FALSE; }
