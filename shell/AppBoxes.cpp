// The program's message boxes: logged as they open, and closed when a run nobody watches ends.
#include "shell/AppBoxes.h"
#include <vector>

namespace {

struct OpenBox {
    HWND window; // null until the box's dialog exists
    UINT flags;
};

BoxWatcher* g_watcher = nullptr;
std::vector<OpenBox> g_open; // boxes nest: inner ones open inside outer ones' message loops
HHOOK g_hook = nullptr;

int DecliningAnswer(UINT flags) {
    switch (flags & MB_TYPEMASK) {
    case MB_OK:
        return IDOK;
    case MB_YESNO:
        return IDNO;
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    default: // OK/Cancel, Retry/Cancel, Yes/No/Cancel, Cancel/Try/Continue
        return IDCANCEL;
    }
}

// Posted, not sent: the box ends from inside its own message loop, which then returns.
void Answer(const OpenBox& box) {
    PostMessageA(box.window, WM_COMMAND, static_cast<WPARAM>(DecliningAnswer(box.flags)), 0);
}

// The first dialog that initialises after a box was asked for is that box.
LRESULT CALLBACK NoteBoxWindow(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == WM_INITDIALOG && !g_open.empty() &&
        g_open.back().window == nullptr) {
        g_open.back().window = message->hwnd;
        if (g_watcher && g_watcher->AnswerBoxesAtOnce())
            Answer(g_open.back());
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

} // namespace

void SetBoxWatcher(BoxWatcher* watcher) {
    g_watcher = watcher;
}

int AppBox(HWND owner, const std::string& text, const char* caption, UINT flags) {
    if (g_watcher)
        g_watcher->BoxOpened(caption, text);
    g_open.push_back({nullptr, flags});
    if (!g_hook)
        g_hook = SetWindowsHookExA(WH_CALLWNDPROC, NoteBoxWindow, nullptr, GetCurrentThreadId());
    const int answer = MessageBoxA(owner, text.c_str(), caption, flags);
    g_open.pop_back();
    if (g_open.empty() && g_hook) {
        UnhookWindowsHookEx(g_hook);
        g_hook = nullptr;
    }
    return answer;
}

void AnswerOpenBoxes() {
    for (auto box = g_open.rbegin(); box != g_open.rend(); ++box) {
        if (box->window)
            Answer(*box);
    }
}
