// What the UI driver does to other processes' windows, in the terms a person would use.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Outcome of an action sent to a window. Actions that open a modal box do not
// return until the box closes, so the driver stops waiting once one appears.
struct ActionOutcome {
    enum Kind { Done, ModalOpened, StillRunning } kind;
    LRESULT result; // Done
    HWND modal;     // ModalOpened
};

struct ControlInfo {
    HWND handle;
    int id;
    std::wstring className;
    std::wstring text;
    bool enabled;
    int checked; // -1 when the control is not a check box or radio button
    bool visible;
};

HWND FindTopWindow(const std::wstring& caption, DWORD timeoutMs);
HWND FindOwnedWindow(HWND owner, DWORD timeoutMs);
bool WaitWindowGone(HWND window, DWORD timeoutMs);
std::vector<HWND> VisibleTopWindows();

std::wstring WindowText(HWND window); // a control's text, asked of its program
std::wstring Caption(HWND window);    // a top-level window's caption
std::wstring ClassOf(HWND window);
std::vector<ControlInfo> ListControls(HWND dialog);
bool HasFocus(HWND control);
int CheckState(HWND control);

// Combo box items through the Unicode messages: the ANSI ones are truncated
// to one character when they cross processes under Wine.
bool ReadCombo(HWND combo, int& selected, std::vector<std::wstring>& items);

// Sends a message the way a person's action would cause it, in a helper
// thread, and watches the target's thread for a new modal window.
ActionOutcome SendAction(HWND target, UINT message, WPARAM wParam, LPARAM lParam);

// Posts key down and up to the window with the keyboard focus in the thread of
// `window` (so the dialog manager sees it, as it sees real keys).
void PressKey(HWND window, UINT virtualKey);

// The file name field of a common file dialog.
HWND FileNameField(HWND fileDialog);
