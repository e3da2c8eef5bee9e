// The hidden window's queue: a posted message wakes it for work due at once, a
// timer for later work. Each action is taken off the queue before it runs, so
// a callback that dispatches messages itself (a wait inside a handler) gets
// the later ones delivered inside it, as with the real service.
#include "Delivery.h"

#include <vector>

namespace delivery {
namespace {

const char kClassName[] = "FarlinkTestTapiWindow";
const UINT kWake = WM_APP + 1;
const UINT_PTR kTimer = 1;

struct Item {
    DWORD due;
    unsigned long long order;
    std::function<void()> action;
};

HWND g_window = nullptr;
std::vector<Item> g_queue;
unsigned long long g_order = 0;

bool Due(const Item& item, DWORD now) {
    return static_cast<LONG>(now - item.due) >= 0;
}

// Index of the earliest item (due time, then queue order); -1 if none.
int Earliest() {
    int best = -1;
    for (size_t i = 0; i < g_queue.size(); ++i) {
        const Item& it = g_queue[i];
        if (best < 0) {
            best = static_cast<int>(i);
            continue;
        }
        const Item& b = g_queue[best];
        LONG diff = static_cast<LONG>(it.due - b.due);
        if (diff < 0 || (diff == 0 && it.order < b.order))
            best = static_cast<int>(i);
    }
    return best;
}

void Rearm() {
    if (!g_window)
        return;
    int next = Earliest();
    if (next < 0) {
        KillTimer(g_window, kTimer);
        return;
    }
    LONG wait = static_cast<LONG>(g_queue[next].due - GetTickCount());
    SetTimer(g_window, kTimer, wait > 0 ? static_cast<UINT>(wait) : USER_TIMER_MINIMUM, nullptr);
    if (wait <= 0)
        PostMessageA(g_window, kWake, 0, 0);
}

void RunDue() {
    for (;;) {
        int next = Earliest();
        if (next < 0 || !Due(g_queue[next], GetTickCount()))
            break;
        std::function<void()> action = std::move(g_queue[next].action);
        g_queue.erase(g_queue.begin() + next);
        action();
        if (!g_window)
            return; // the action shut the provider down
    }
    Rearm();
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kWake || (message == WM_TIMER && wParam == kTimer)) {
        RunDue();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

bool Start(HINSTANCE module) {
    if (g_window)
        return true;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = module;
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc); // fails harmlessly when already registered
    // A message-only window: never shown, still served by GetMessage/PeekMessage(NULL).
    g_window =
        CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
    return g_window != nullptr;
}

void Stop() {
    g_queue.clear();
    if (g_window) {
        HWND window = g_window;
        g_window = nullptr;
        DestroyWindow(window);
    }
}

bool Running() {
    return g_window != nullptr;
}

void Schedule(DWORD delayMs, std::function<void()> action) {
    if (!g_window)
        return;
    g_queue.push_back(Item{GetTickCount() + delayMs, g_order++, std::move(action)});
    Rearm();
}

} // namespace delivery
