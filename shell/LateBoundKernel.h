// Kernel functions newer than the oldest Windows the program runs on (XP SP3 for the 32-bit
// build): looked up when they are used, so the exe still loads where they are missing, each
// with what the program does instead there.
#pragma once

#include <windows.h>

namespace late_bound {

// The named kernel32 function, or null on a system that lacks it.
// Test builds with FARLINK_AS_ON_XP find none, as on XP, to run the fallbacks under Wine.
template <typename Function> Function KernelFunction(const char* name) {
#ifdef FARLINK_AS_ON_XP
    static_cast<void>(name);
    return nullptr;
#else
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    // Through void*: a cast straight from FARPROC draws -Wcast-function-type.
    return kernel
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name)))
               : nullptr;
#endif
}

// Cancels one overlapped operation on a file (Vista and later: CancelIoEx). Before Vista only
// CancelIo exists, which cancels what the calling thread itself started on the file: that is
// this operation when the caller issued it, and nothing of another thread's otherwise.
inline BOOL CancelOverlapped(HANDLE file, OVERLAPPED* overlapped) {
    using CancelIoExFunction = BOOL(WINAPI*)(HANDLE, LPOVERLAPPED);
    if (const auto cancel = KernelFunction<CancelIoExFunction>("CancelIoEx"))
        return cancel(file, overlapped);
    return CancelIo(file);
}

// The full path of the file a handle has open, drive-letter form ("\\?\C:\..."), as
// GetFinalPathNameByHandleA returns it (Vista and later); 0 where the system cannot tell.
inline DWORD FinalPathOf(HANDLE file, char* out, DWORD size) {
    using FinalPathFunction = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
    constexpr DWORD kVolumeNameDos = 0; // VOLUME_NAME_DOS, declared only for Vista and later
    const auto final_path = KernelFunction<FinalPathFunction>("GetFinalPathNameByHandleA");
    return final_path ? final_path(file, out, size, kVolumeNameDos) : 0;
}

} // namespace late_bound
