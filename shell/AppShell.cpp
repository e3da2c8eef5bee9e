// Resource module, string-table texts, main window and message boxes.
#include "shell/AppShell.h"
#include "shell/AppBoxes.h"
#include "shell/TextFormat.h"
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

namespace {
std::string LoadTextFrom(HINSTANCE module, UINT id) {
    // String-table entries are at most 4097 characters long.
    std::vector<char> buffer(4100);
    int n = LoadStringA(module, id, buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), n > 0 ? static_cast<size_t>(n) : 0);
}
} // namespace

std::string LoadText(UINT id) {
    return LoadTextFrom(CurrentResourceModule(), id);
}

std::string LoadTextOrOwn(UINT id) {
    std::string text = LoadText(id);
    return text.empty() ? LoadTextFrom(GetModuleHandleA(nullptr), id) : text;
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
    return AppBox(owner, text, kAppTitle, flags);
}
