// Finds the per-user folder that holds "Program Settings.ini".
#pragma once
#include <windows.h>

// Fills folder (size bytes) with a path ending in a backslash. Until the
// product settings are read, this is the program's own folder.
void GetUserSettingsFolder(HINSTANCE exe, char* folder, int size);
