// Loads the text probe, hooks the control's thread with it for one message and reads the answer.
#include "tools/driver/TextMeasure.h"

namespace {

const UINT kProbeTimeoutMs = 5000;

// The probe DLL sits beside the driver.
HMODULE LoadProbe() {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    wchar_t* slash = wcsrchr(path, L'\\');
    if (!slash || (slash + 1 - path) + 20 >= MAX_PATH)
        return nullptr;
    wcscpy(slash + 1, L"ui_driver_probe.dll");
    return LoadLibraryW(path);
}

} // namespace

bool MeasureControlText(HWND control, ProbeResult& result, std::string& why) {
    static HMODULE probe = LoadProbe();
    FARPROC found = probe ? GetProcAddress(probe, FARLINK_PROBE_HOOK) : nullptr;
    // Through void(*)() so the compiler accepts the change of signature.
    HOOKPROC hook =
        found ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(found)) : nullptr;
    if (!hook) {
        why = "the text probe ui_driver_probe.dll is missing";
        return false;
    }
    WCHAR name[64];
    ProbeMappingName(GetCurrentProcessId(), name);
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(ProbeResult), name);
    if (!mapping) {
        why = "cannot create the probe's mapping";
        return false;
    }
    auto* shared = static_cast<ProbeResult*>(
        MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(ProbeResult)));
    bool measured = false;
    why = "the probe did not answer";
    if (shared) {
        ZeroMemory(shared, sizeof *shared);
        DWORD thread = GetWindowThreadProcessId(control, nullptr);
        HHOOK hooked = SetWindowsHookExW(WH_CALLWNDPROC, hook, probe, thread);
        if (hooked) {
            // The hook runs in the control's thread before the control sees
            // the message; the send returns after both.
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(control, RegisterWindowMessageW(FARLINK_PROBE_MESSAGE),
                                GetCurrentProcessId(), 0, SMTO_ABORTIFHUNG, kProbeTimeoutMs,
                                &ignored);
            UnhookWindowsHookEx(hooked);
            if (InterlockedCompareExchange(&shared->done, 0, 0)) {
                result = *shared;
                result.face[LF_FACESIZE - 1] = L'\0';
                measured = true;
            }
        } else {
            why = "cannot hook the control's thread";
        }
        UnmapViewOfFile(shared);
    }
    CloseHandle(mapping);
    return measured;
}
