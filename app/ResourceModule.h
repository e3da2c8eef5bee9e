// Chooses the user-interface language and loads its resource module.
#pragma once
#include <windows.h>

// The user's culture name (for example "de-AT") into culture (size bytes).
void ReadCultureName(const char* settingsFile, char* culture, int size);
// Afterwards module holds a loaded language module or the executable itself.
void LoadResourceModule(const char* culture, HINSTANCE exe, HINSTANCE& module);
// Frees a loaded language module and sets module to null.
void FreeResourceModule(HINSTANCE exe, HINSTANCE& module);
