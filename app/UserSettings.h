// Finds the per-user folder that holds the user's "Program Settings.ini".
#pragma once
#include <windows.h>

// Fills folder (size bytes) with the per-user settings folder, ending in a
// backslash; the program folder when no per-user folder can be found. Returns
// folder, or null when folder is null or size is not positive.
char* GetUserSettingsFolder(HINSTANCE exe, char* folder, int size);

// The product folder name ("Korvane v6.1", or the product alone) that the
// installation's settings file names, cut to size bytes. Returns name.
char* ReadProductFolderName(const char* settingsFile, char* name, int size, bool withVersion);
