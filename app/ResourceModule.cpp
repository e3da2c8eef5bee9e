// Language selection: for now the executable's own resources are used.
#include "app/ResourceModule.h"

void ReadCultureName(const char*, char* culture, int size)
{
    if (size > 0)
        culture[0] = '\0';
}

void LoadResourceModule(const char*, HINSTANCE exe, HINSTANCE& module)
{
    module = exe;
}

void FreeResourceModule(HINSTANCE exe, HINSTANCE& module)
{
    if (module && module != exe)
        FreeLibrary(module);
    module = nullptr;
}
