// Resource module, string-table texts, main window and message boxes.
#include "app/AppShell.h"
#include "app/TextFormat.h"
#include <vector>

namespace {
HINSTANCE g_resourceModule = nullptr;
HWND g_mainWindow = nullptr;
} // namespace

HINSTANCE CurrentResourceModule() {
    return g_resourceModule ? g_resourceModule : GetModuleHandleA(nullptr);
}

void SetCurrentResourceModule(HINSTANCE module) {
    g_resourceModule = module;
}

std::string LoadText(UINT id) {
    // String-table entries are at most 4097 characters long.
    std::vector<char> buffer(4100);
    int n =
        LoadStringA(CurrentResourceModule(), id, buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), n > 0 ? static_cast<size_t>(n) : 0);
}

std::string FormatText(UINT id, int value) {
    return FormatIntegers(LoadText(id), {value});
}

HWND MainWindowHandle() {
    return g_mainWindow;
}

void SetMainWindowHandle(HWND hwnd) {
    g_mainWindow = hwnd;
}

int AppMessageBox(const std::string& text, UINT flags) {
    HWND owner = g_mainWindow ? GetLastActivePopup(g_mainWindow) : nullptr;
    return MessageBoxA(owner, text.c_str(), kAppTitle, flags);
}
