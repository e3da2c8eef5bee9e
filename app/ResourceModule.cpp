// Language selection: the platform side (settings read, path lookups, module loading).
#include "app/ResourceModule.h"
#include "app/ModulePath.h"
#include <string>

namespace {

using LongPathNameFn = DWORD(WINAPI*)(LPCSTR shortPath, LPSTR longPath, DWORD size);

// Systems before Windows 98 lack GetLongPathNameA, so it is found at run time.
LongPathNameFn LongPathName() {
    HMODULE kernel = GetModuleHandleA("kernel32");
    FARPROC found = kernel ? GetProcAddress(kernel, "GetLongPathNameA") : nullptr;
    return reinterpret_cast<LongPathNameFn>(reinterpret_cast<void (*)()>(found));
}

// The executable's path in its long form, so a short 8.3 name (TOOL~1.EXE)
// still gives the module name the long name implies.
std::string ExecutablePath(HINSTANCE exe) {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(exe, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return std::string();
    std::string longPath;
    if (LongPathNameFn longPathName = LongPathName()) {
        char buffer[MAX_PATH];
        const DWORD length = longPathName(path, buffer, sizeof buffer);
        // A long form that does not fit is not used at all: a cut one would
        // name a module elsewhere.
        if (length > 0 && length < sizeof buffer)
            longPath.assign(buffer, length);
    }
    return PreferLongPath(std::string(path, n), longPath);
}

bool IsDirectory(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

char* ReadCultureName(const char* settingsFile, char* culture, int size) {
    if (!culture || size <= 0)
        return nullptr;
    culture[0] = '\0';
    if (settingsFile && *settingsFile)
        GetPrivateProfileStringA("Language", "CultureName", "", culture, static_cast<DWORD>(size),
                                 settingsFile);
    if (culture[0] == '\0') {
        lstrcpynA(culture, CultureNameFromLcid(GetUserDefaultLCID()), size);
        culture[size - 1] = '\0';
    }
    return culture;
}

void LoadResourceModule(const char* culture, HINSTANCE exe, HINSTANCE& module) {
    if (module && module != exe)
        FreeLibrary(module);
    module = exe;
    if (IsExecutableCulture(culture))
        return;
    const std::string path = ResourceModulePath(culture, ExecutablePath(exe), IsDirectory);
    if (path.empty())
        return;
    if (HINSTANCE loaded = LoadLibraryA(path.c_str()))
        module = loaded;
}

void FreeResourceModule(HINSTANCE exe, HINSTANCE& module) {
    if (module && module != exe)
        FreeLibrary(module);
    module = nullptr;
}
