/* sc_load_library: loads Farlink.exe into another program so that its SC functions work. */
#ifndef FARLINK_SERIAL_SERIALLOADER_H
#define FARLINK_SERIAL_SERIALLOADER_H

/*
 * Why LoadLibrary alone is not enough: a loader maps an exe loaded as a library, but need not
 * prepare it the way it prepares a DLL. Wine applies neither the exe's base relocations nor its
 * imports, so its calls into the system go through empty slots, and, where the exe could not be
 * mapped at its preferred address, every absolute address in it is wrong. Windows relocates and
 * binds. sc_load_library lets the system loader map the exe, then does whichever of the two the
 * loader left undone (see ImageFixups.h for how each is recognised), so one client works on both.
 *
 * Copy this header and ImageFixups.h into the client, or include them from serial/. C or C++,
 * 32- or 64-bit; the client needs no particular image base of its own.
 */
#include <windows.h>

#include "ImageFixups.h"

/* Enough for any refusal text of sc_load_library. */
#define SC_LOAD_ERROR_SIZE 320

/* At most this many runs of pages of one protection in the image (one or two per section). */
#define SC_LOAD_MAX_REGIONS 64

typedef struct sc_load_region {
    void* start;
    SIZE_T size;
    DWORD protect;
} sc_load_region;

/* The resolver's context is the error code a refusal reports. */
static inline void* sc_load_resolve_library(void* context, const char* name) {
    HMODULE library = LoadLibraryA(name);
    if (library == NULL)
        *(DWORD*)context = ERROR_MOD_NOT_FOUND;
    return (void*)library;
}

static inline uint64_t sc_load_resolve_function(void* context, void* library, const char* name,
                                                uint16_t ordinal) {
    FARPROC found =
        GetProcAddress((HMODULE)library, name != NULL ? name : (LPCSTR)(ULONG_PTR)ordinal);
    if (found == NULL)
        *(DWORD*)context = ERROR_PROC_NOT_FOUND;
    return (uint64_t)(uintptr_t)found;
}

/* The same protection with writing allowed (copy-on-write pages take writes already). */
static inline DWORD sc_load_writable(DWORD protect) {
    const DWORD kind = protect & 0xFF, modifiers = protect & ~(DWORD)0xFF;
    if (kind == PAGE_READONLY)
        return PAGE_READWRITE | modifiers;
    if (kind == PAGE_EXECUTE || kind == PAGE_EXECUTE_READ)
        return PAGE_EXECUTE_READWRITE | modifiers;
    return protect;
}

/* The committed, readable runs of pages of the image at base; returns how many bytes they
   cover from base without a gap, and their count in *count (0 when there are too many). */
static inline SIZE_T sc_load_regions(BYTE* base, sc_load_region* regions, int* count) {
    SIZE_T mapped = 0;
    MEMORY_BASIC_INFORMATION info;
    *count = 0;
    while (VirtualQuery(base + mapped, &info, sizeof info) == sizeof info &&
           info.AllocationBase == base && info.State == MEM_COMMIT &&
           (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) == 0) {
        if (*count == SC_LOAD_MAX_REGIONS) {
            *count = 0;
            return 0;
        }
        regions[*count].start = info.BaseAddress;
        regions[*count].size = info.RegionSize;
        regions[*count].protect = info.Protect;
        ++*count;
        mapped += info.RegionSize;
    }
    return mapped;
}

/* Makes the first `count` regions writable (protect = 1) or gives them back what they had. */
static inline int sc_load_protect(sc_load_region* regions, int count, int writable) {
    int ok = 1;
    for (int i = 0; i < count; ++i) {
        DWORD old;
        const DWORD wanted = writable ? sc_load_writable(regions[i].protect) : regions[i].protect;
        if (wanted != regions[i].protect &&
            !VirtualProtect(regions[i].start, regions[i].size, wanted, &old)) {
            if (writable) {
                sc_load_protect(regions, i, 0);
                return 0;
            }
            ok = 0;
        }
    }
    return ok;
}

static inline HMODULE sc_load_refuse(HMODULE module, char* error, size_t error_size, DWORD code,
                                     const char* path, const char* reason) {
    if (error != NULL && error_size > 0)
        snprintf(error, error_size, "%s: %s", path, reason);
    if (module != NULL)
        FreeLibrary(module);
    SetLastError(code);
    return NULL;
}

/*
 * Loads the exe at path (as LoadLibraryA finds it) and makes it callable: applies its base
 * relocations when it was mapped away from its preferred address and the loader left them, and
 * binds the import slots the loader left unbound. Every table of the image is checked whole
 * before anything in it is changed.
 *
 * Returns the module, to be used with GetProcAddress and ended with FreeLibrary; or null with
 * one line in error ("<path>: <reason>", when error is not null) and GetLastError set: the
 * loader's own code when the file could not be loaded, ERROR_BAD_EXE_FORMAT for a damaged or
 * unrelocatable image, ERROR_MOD_NOT_FOUND or ERROR_PROC_NOT_FOUND for an import that cannot
 * be found. A refusal releases the reference this call took on the module.
 *
 * Call it before any thread uses the module's functions. Loading the same exe again returns
 * the same module and changes nothing in it.
 */
static inline HMODULE sc_load_library(const char* path, char* error, size_t error_size) {
    char reason[SC_LOAD_ERROR_SIZE];
    HMODULE module = LoadLibraryA(path);
    if (module == NULL) {
        const DWORD code = GetLastError();
        snprintf(reason, sizeof reason, "cannot be loaded (system error %lu)", (unsigned long)code);
        return sc_load_refuse(NULL, error, error_size, code, path, reason);
    }
    sc_load_region regions[SC_LOAD_MAX_REGIONS];
    int count;
    const SIZE_T mapped = sc_load_regions((BYTE*)module, regions, &count);
    if (count == 0)
        return sc_load_refuse(module, error, error_size, ERROR_BAD_EXE_FORMAT, path,
                              "its pages cannot be inspected");
    sc_image image;
    if (sc_image_open(&image, (uint8_t*)module, mapped, reason, sizeof reason) != 0)
        return sc_load_refuse(module, error, error_size, ERROR_BAD_EXE_FORMAT, path, reason);
    if (image.pe64 != (sizeof(void*) == 8) ||
        image.machine != (sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386))
        return sc_load_refuse(module, error, error_size, ERROR_BAD_EXE_FORMAT, path,
                              "built for another word size than this program");

    DWORD code = ERROR_BAD_EXE_FORMAT;
    sc_import_resolver resolver = {&code, sc_load_resolve_library, sc_load_resolve_function};
    const long places = sc_image_relocate(&image, (uintptr_t)module, 0, reason, sizeof reason);
    if (places < 0)
        return sc_load_refuse(module, error, error_size, ERROR_BAD_EXE_FORMAT, path, reason);
    const long slots = sc_image_bind(&image, &resolver, 0, reason, sizeof reason);
    if (slots < 0)
        return sc_load_refuse(module, error, error_size, code, path, reason);
    if (places == 0 && slots == 0)
        return module; // the system loader has done both

    if (!sc_load_protect(regions, count, 1)) {
        snprintf(reason, sizeof reason, "cannot be made writable (system error %lu)",
                 (unsigned long)GetLastError());
        return sc_load_refuse(module, error, error_size, ERROR_BAD_EXE_FORMAT, path, reason);
    }
    const int fixed =
        (places == 0 ||
         sc_image_relocate(&image, (uintptr_t)module, 1, reason, sizeof reason) == places) &&
        (slots == 0 || sc_image_bind(&image, &resolver, 1, reason, sizeof reason) == slots);
    sc_load_protect(regions, count, 0);
    FlushInstructionCache(GetCurrentProcess(), module, image.size);
    if (!fixed)
        return sc_load_refuse(module, error, error_size, ERROR_BAD_EXE_FORMAT, path,
                              "changed while it was being fixed");
    return module;
}

#endif
