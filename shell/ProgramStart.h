// Starts another program that runs on its own: the program does not wait for it.
#pragma once
#include <windows.h>

// CreateProcessA with commandLine (no application name, no inherited handles,
// normal priority) and the window shown as show; the handles are closed at
// once. False, with GetLastError set, when the program could not be started.
bool StartDetachedProgram(const char* commandLine, WORD show);
