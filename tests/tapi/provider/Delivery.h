// Callbacks go out the way the telephony service sends them: queued, and run
// later by a hidden window of the provider's own, on the thread that called
// lineInitialize, whenever that thread dispatches messages.
#pragma once
#include <windows.h>

#include <functional>

namespace delivery {
// Creates the hidden window on the calling thread; false if that fails.
bool Start(HINSTANCE module);
// Destroys the window and forgets everything still queued.
void Stop();
bool Running();
// Runs `action` from the window procedure no sooner than `delayMs` from now.
// Actions due at the same moment run in the order they were queued.
void Schedule(DWORD delayMs, std::function<void()> action);
} // namespace delivery
