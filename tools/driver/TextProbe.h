// What the UI driver and its text probe (a hook DLL loaded into the program under test) share.
#pragma once

#include <windows.h>

#include <cwchar>

// A control's font exists only in its own process, so its text is measured
// there: the driver hooks the control's thread with the probe and sends the
// control the registered message FARLINK_PROBE_MESSAGE, its own process id in
// wParam; the probe writes the result into the driver's mapping named by
// ProbeMappingName().
#define FARLINK_PROBE_MESSAGE L"FarlinkUiDriverTextProbe"
#define FARLINK_PROBE_HOOK "ProbeHook"

struct ProbeResult {
    LONG done; // set last, once the other fields are written
    LONG textWidth;
    LONG textHeight;
    LONG clientWidth;
    LONG clientHeight;
    WCHAR face[LF_FACESIZE]; // the face the font resolved to
};

inline void ProbeMappingName(DWORD driverPid, WCHAR (&name)[64]) {
    swprintf(name, 64, L"Local\\FarlinkUiDriverProbe-%lu", static_cast<unsigned long>(driverPid));
}
