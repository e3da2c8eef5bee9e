// Win32 side of the UI driver: finding windows, reading controls and sending actions across
// processes.
#include "tools/driver/WindowOps.h"

#include <algorithm>
#include <memory>

namespace {

const DWORD kPollMs = 20;
const UINT kReadTimeoutMs = 5000;
const DWORD kActionWaitMs = 10000;

template <typename Done> bool PollUntil(DWORD timeoutMs, Done done) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
}

BOOL CALLBACK CollectTop(HWND window, LPARAM param) {
    auto* all = reinterpret_cast<std::vector<HWND>*>(param);
    if (IsWindowVisible(window))
        all->push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectThreadWindow(HWND window, LPARAM param) {
    auto* all = reinterpret_cast<std::vector<HWND>*>(param);
    if (IsWindowVisible(window))
        all->push_back(window);
    return TRUE;
}

std::vector<HWND> VisibleThreadWindows(DWORD thread) {
    std::vector<HWND> all;
    EnumThreadWindows(thread, CollectThreadWindow, reinterpret_cast<LPARAM>(&all));
    return all;
}

struct PendingSend {
    HWND target;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    HANDLE done = nullptr;
    ~PendingSend() { CloseHandle(done); }
};

DWORD WINAPI SendInBackground(LPVOID param) {
    // The thread owns a reference: the caller may stop waiting while a modal
    // box keeps the send open, and the record must outlive that.
    std::unique_ptr<std::shared_ptr<PendingSend>> ref(
        static_cast<std::shared_ptr<PendingSend>*>(param));
    PendingSend& send = **ref;
    send.result = SendMessageW(send.target, send.message, send.wParam, send.lParam);
    SetEvent(send.done);
    return 0;
}

} // namespace

std::vector<HWND> VisibleTopWindows() {
    std::vector<HWND> all;
    EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&all));
    return all;
}

HWND FindTopWindow(const std::wstring& caption, DWORD timeoutMs) {
    HWND found = nullptr;
    PollUntil(timeoutMs, [&] {
        for (HWND window : VisibleTopWindows())
            if (Caption(window) == caption) {
                found = window;
                return true;
            }
        return false;
    });
    return found;
}

HWND FindOwnedWindow(HWND owner, DWORD timeoutMs) {
    DWORD thread = GetWindowThreadProcessId(owner, nullptr);
    HWND found = nullptr;
    PollUntil(timeoutMs, [&] {
        std::vector<HWND> others = VisibleThreadWindows(thread);
        others.erase(std::remove(others.begin(), others.end(), owner), others.end());
        for (HWND window : others)
            if (GetWindow(window, GW_OWNER) == owner) {
                found = window;
                return true;
            }
        // A box without an owner still disables nothing, but is the only
        // other enabled window of that thread while it is up.
        for (HWND window : others)
            if (IsWindowEnabled(window) && !GetWindow(window, GW_OWNER)) {
                found = window;
                return true;
            }
        return false;
    });
    return found;
}

bool WaitWindowGone(HWND window, DWORD timeoutMs) {
    return PollUntil(timeoutMs, [&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

std::wstring WindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs,
                             &length))
        return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_ABORTIFHUNG, kReadTimeoutMs, &copied))
        return {};
    text.resize(std::min<size_t>(copied, length));
    return text;
}

std::wstring Caption(HWND window) {
    // Read from the window manager's copy: no message is sent, so a window
    // whose program is busy or hung cannot stall the search.
    wchar_t text[512] = {};
    InternalGetWindowText(window, text, 512);
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

int CheckState(HWND control) {
    if (_wcsicmp(ClassOf(control).c_str(), L"Button") != 0)
        return -1;
    LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    switch (type) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: {
        DWORD_PTR state = 0;
        SendMessageTimeoutW(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs, &state);
        return static_cast<int>(state);
    }
    default:
        return -1;
    }
}

std::vector<ControlInfo> ListControls(HWND dialog) {
    std::vector<ControlInfo> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        controls.push_back({child, GetDlgCtrlID(child), ClassOf(child), WindowText(child),
                            IsWindowEnabled(child) != FALSE, CheckState(child),
                            IsWindowVisible(child) != FALSE});
    }
    return controls;
}

bool HasFocus(HWND control) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(control, nullptr), &info) &&
           info.hwndFocus == control;
}

bool ReadCombo(HWND combo, int& selected, std::vector<std::wstring>& items) {
    DWORD_PTR count = 0, current = 0;
    if (!SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs, &count) ||
        !SendMessageTimeoutW(combo, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs, &current))
        return false;
    selected = static_cast<int>(static_cast<LRESULT>(current));
    items.clear();
    for (int i = 0; i < static_cast<int>(static_cast<LRESULT>(count)); i++) {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, i, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs,
                            &length);
        if (static_cast<LRESULT>(length) < 0)
            return false;
        std::wstring item(length + 1, L'\0');
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0]),
                            SMTO_ABORTIFHUNG, kReadTimeoutMs, &copied);
        item.resize(std::min<size_t>(copied, length));
        items.push_back(item);
    }
    return true;
}

ActionOutcome SendAction(HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD thread = GetWindowThreadProcessId(target, nullptr);
    std::vector<HWND> before = VisibleThreadWindows(thread);

    auto send = std::make_shared<PendingSend>();
    send->target = target;
    send->message = message;
    send->wParam = wParam;
    send->lParam = lParam;
    send->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE worker = CreateThread(nullptr, 0, SendInBackground,
                                 new std::shared_ptr<PendingSend>(send), 0, nullptr);
    if (worker)
        CloseHandle(worker);

    DWORD start = GetTickCount();
    while (GetTickCount() - start < kActionWaitMs) {
        if (WaitForSingleObject(send->done, kPollMs) == WAIT_OBJECT_0)
            return {ActionOutcome::Done, send->result, nullptr};
        for (HWND window : VisibleThreadWindows(thread))
            if (std::find(before.begin(), before.end(), window) == before.end())
                return {ActionOutcome::ModalOpened, 0, window};
    }
    return {ActionOutcome::StillRunning, 0, nullptr};
}

void PressKey(HWND window, UINT virtualKey) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    HWND focus = window;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus)
        focus = info.hwndFocus;
    UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    PostMessageW(focus, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
    PostMessageW(focus, WM_KEYUP, virtualKey, 1 | (scan << 16) | (3u << 30));
}

HWND FileNameField(HWND fileDialog) {
    // Explorer-style dialogs name the file in combo cmb13 (with an edit inside),
    // older ones in edit edt1.
    const int kCmb13 = 0x47c, kEdt1 = 0x480;
    if (HWND combo = GetDlgItem(fileDialog, kCmb13)) {
        if (HWND edit = FindWindowExW(combo, nullptr, L"Edit", nullptr))
            return edit;
        return combo;
    }
    return GetDlgItem(fileDialog, kEdt1);
}
