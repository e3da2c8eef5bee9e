// Process-wide services of the application: the resource module that texts
// and dialogs come from, the main window, and application-titled boxes.
#pragma once
#include <windows.h>
#include <string>

constexpr const char* kAppTitle = "Farlink To WinCE";

// Module that dialog templates, icons and string-table texts are loaded from:
// a language module, or the executable itself.
HINSTANCE CurrentResourceModule();
void SetCurrentResourceModule(HINSTANCE module);

// A string-table text of the current resource module; empty when absent.
std::string LoadText(UINT id);
// The same, falling back on the executable's own text for ids that a language
// module made before them does not have.
std::string LoadTextOrOwn(UINT id);
// A string-table text with its %d filled in.
std::string FormatText(UINT id, int value);

// The main dialog's window, once it exists; null before and after.
HWND MainWindowHandle();
void SetMainWindowHandle(HWND hwnd);

// A message box titled with the application title, owned by the main window.
int AppMessageBox(const std::string& text, UINT flags = MB_OK);
