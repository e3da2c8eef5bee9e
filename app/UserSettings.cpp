// Per-user settings folder: the platform side (profile reads, shell folder lookups).
#include "app/UserSettings.h"
#include "app/SettingsFolderName.h"
#include "shell/SystemLibrary.h"
#include <shlobj.h>
#include <string>
#include <vector>

namespace {

using KnownFolderPathFn = HRESULT(WINAPI*)(const GUID* id, DWORD flags, HANDLE token, PWSTR* path);
using FolderPathFn = HRESULT(WINAPI*)(HWND owner, int folder, HANDLE token, DWORD flags,
                                      LPSTR path);

// FOLDERID_LocalAppData, spelled out so no GUID library is needed.
const GUID kLocalAppDataId = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
constexpr int kLocalAppDataCsidl = 28;
static_assert(kLocalAppDataCsidl == CSIDL_LOCAL_APPDATA, "folder number");

// Stand-ins when the shell lacks a lookup (older systems): an ordinary failure.
HRESULT WINAPI KnownFolderPathUnavailable(const GUID*, DWORD, HANDLE, PWSTR*) {
    return E_FAIL;
}
HRESULT WINAPI FolderPathUnavailable(HWND, int, HANDLE, DWORD, LPSTR) {
    return E_FAIL;
}

// The shell is loaded at run time, from the system folder, so the program still starts where
// a lookup is missing.
HMODULE Shell() {
    static HMODULE shell = LoadSystemLibrary(L"shell32.dll");
    return shell;
}

template <typename Fn> Fn ShellFunction(const char* name, Fn unavailable) {
    FARPROC found = Shell() ? GetProcAddress(Shell(), name) : nullptr;
    // Through void(*)() so the compiler accepts the change of signature.
    return found ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(found)) : unavailable;
}

KnownFolderPathFn KnownFolderPath() {
    static KnownFolderPathFn fn =
        ShellFunction("SHGetKnownFolderPath", &KnownFolderPathUnavailable);
    return fn;
}

FolderPathFn FolderPath() {
    static FolderPathFn fn = ShellFunction("SHGetFolderPathA", &FolderPathUnavailable);
    return fn;
}

bool KnownLocalAppData(std::string& folder) {
    PWSTR wide = nullptr;
    const HRESULT hr = KnownFolderPath()(&kLocalAppDataId, 0, nullptr, &wide);
    bool ok = false;
    if (SUCCEEDED(hr) && wide) {
        const int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
        if (n > 0) {
            std::vector<char> ansi(n);
            ok = WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi.data(), n, nullptr, nullptr) > 0;
            folder = ansi.data();
        }
    }
    CoTaskMemFree(wide); // owned by us even when the lookup failed
    return ok;
}

bool OlderLocalAppData(std::string& folder) {
    char path[MAX_PATH] = "";
    if (FAILED(FolderPath()(nullptr, kLocalAppDataCsidl, nullptr, 0, path)))
        return false;
    folder = path;
    return true;
}

std::string ExecutablePath(HINSTANCE exe) {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(exe, path, sizeof path);
    // A full buffer means the path was cut: a cut path names the wrong folder.
    return (n == 0 || n >= sizeof path) ? std::string() : std::string(path, n);
}

bool IsFile(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string ReadSetting(const std::string& file, const char* section, const char* key,
                        const char* def, std::size_t size) {
    std::vector<char> value(size);
    GetPrivateProfileStringA(section, key, def, value.data(), static_cast<DWORD>(size),
                             file.c_str());
    return value.data();
}

} // namespace

char* GetUserSettingsFolder(HINSTANCE exe, char* folder, int size) {
    if (!folder || size <= 0)
        return nullptr;
    SettingsFolderPlatform platform;
    platform.executablePath = [exe] { return ExecutablePath(exe); };
    platform.majorVersion = [] { return static_cast<unsigned>(LOBYTE(LOWORD(GetVersion()))); };
    platform.isFile = IsFile;
    platform.readSetting = ReadSetting;
    platform.knownLocalAppData = KnownLocalAppData;
    platform.olderLocalAppData = OlderLocalAppData;
    return ComposeUserSettingsFolder(platform, folder, static_cast<std::size_t>(size));
}

char* ReadProductFolderName(const char* settingsFile, char* name, int size, bool withVersion) {
    if (!name || size <= 0)
        return name;
    return ProductFolderNameFromFile(ReadSetting, settingsFile ? settingsFile : "", name,
                                     static_cast<std::size_t>(size), withVersion);
}
