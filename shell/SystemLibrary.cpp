// Loading system libraries from the system folder, on every Windows the program runs on.
#include "shell/SystemLibrary.h"
#include "shell/LateBoundKernel.h"
#include <string>

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32: declared only for newer targets than the oldest one built for.
constexpr DWORD kSearchSystem32 = 0x00000800;

// The search flags of LoadLibraryEx came with AddDllDirectory (Windows 8; Vista and 7 with
// the update that added both): its presence is the documented way to tell.
bool SystemSearchFlagKnown() {
    using AddDllDirectoryFunction = void*(WINAPI*)(LPCWSTR);
    return late_bound::KernelFunction<AddDllDirectoryFunction>("AddDllDirectory") != nullptr;
}

} // namespace

void RestrictDllSearchToSystem() {
    using SetDefaultFunction = BOOL(WINAPI*)(DWORD);
    if (const auto setDefault =
            late_bound::KernelFunction<SetDefaultFunction>("SetDefaultDllDirectories"))
        if (setDefault(kSearchSystem32))
            return;
    // Only the current folder leaves the search here; the exe's folder stays first, which is
    // why nothing the program loads is loaded by a bare name.
    SetDllDirectoryW(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
    if (SystemSearchFlagKnown())
        return LoadLibraryExW(name, nullptr, kSearchSystem32);
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\" + name;
    // By its full path; the altered search finds what the library itself needs from its own
    // folder (the system folder) first.
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
