// The two kinds of box the telephony code shows.
#pragma once
#include <windows.h>

// "Warning" box owned by the main window (or no window); returns the button.
int WarningBox(const char* text, UINT buttons);
// The application-titled box for an allocation that failed.
void ShowOutOfMemoryBox();
