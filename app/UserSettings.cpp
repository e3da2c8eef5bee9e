// Per-user settings folder: for now the program's own folder.
#include "app/UserSettings.h"
#include <cstring>

void GetUserSettingsFolder(HINSTANCE exe, char* folder, int size)
{
    if (size <= 0)
        return;
    DWORD n = GetModuleFileNameA(exe, folder, static_cast<DWORD>(size));
    if (n == 0 || n >= static_cast<DWORD>(size)) {
        folder[0] = '\0';
        return;
    }
    char* slash = std::strrchr(folder, '\\');
    if (slash)
        slash[1] = '\0';
    else
        folder[0] = '\0';
}
