// Chooses the user-interface language and loads its resource module.
#pragma once
#include "app/CultureTable.h"
#include <windows.h>

// Fills culture (size bytes) with [Language] CultureName of settingsFile, or
// else the culture of the user's default locale. Returns culture, or null when
// culture is null or size is not positive.
char* ReadCultureName(const char* settingsFile, char* culture, int size);

// Frees a module loaded before, then loads the language module for culture.
// Afterwards module holds that module, or exe when its own resources serve.
void LoadResourceModule(const char* culture, HINSTANCE exe, HINSTANCE& module);

// Frees a loaded language module (never exe itself) and sets module to null.
void FreeResourceModule(HINSTANCE exe, HINSTANCE& module);
