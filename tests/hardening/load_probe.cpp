// Loads tapi32 the way the program does, after narrowing the DLL search as its WinMain does,
// and prints the path of the library it got ("not loaded <error>" otherwise). Built twice:
// as is, and with FARLINK_AS_ON_XP, where the system-folder flag is unknown and the full path
// from GetSystemDirectoryW is used.
#include "shell/SystemLibrary.h"
#include <cstdio>

int main() {
    RestrictDllSearchToSystem();
    const HMODULE tapi = LoadSystemLibrary(L"tapi32.dll");
    if (tapi == nullptr) {
        std::printf("not loaded %lu\n", GetLastError());
        return 1;
    }
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(tapi, path, MAX_PATH);
    std::printf("%ls\n", length > 0 && length < MAX_PATH ? path : L"?");
    return 0;
}
