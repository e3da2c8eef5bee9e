// The UI driver's text probe: a hook DLL that measures a control's text in the control's own font,
// inside the process that owns the font.
#include "tools/driver/TextProbe.h"

namespace {

// Text a static or button draws: '&' marks a mnemonic unless the style says otherwise.
UINT DrawFlags(HWND control) {
    wchar_t cls[32] = {};
    GetClassNameW(control, cls, 32);
    LONG style = GetWindowLongW(control, GWL_STYLE);
    UINT flags = DT_CALCRECT | DT_SINGLELINE | DT_LEFT | DT_TOP;
    if (_wcsicmp(cls, L"Static") == 0 && (style & SS_NOPREFIX))
        flags |= DT_NOPREFIX;
    return flags;
}

void Measure(HWND control, DWORD driverPid) {
    WCHAR name[64];
    ProbeMappingName(driverPid, name);
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, name);
    if (!mapping)
        return;
    auto* out = static_cast<ProbeResult*>(
        MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(ProbeResult)));
    if (out) {
        int length = GetWindowTextLengthW(control);
        WCHAR* text = static_cast<WCHAR*>(
            HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (length + 1) * sizeof(WCHAR)));
        HDC dc = GetDC(control);
        if (text && dc) {
            GetWindowTextW(control, text, length + 1);
            // A control without a font of its own draws in the system font.
            HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
            HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));
            RECT extent = {0, 0, 0, 0};
            DrawTextW(dc, text, -1, &extent, DrawFlags(control));
            RECT client = {};
            GetClientRect(control, &client);
            GetTextFaceW(dc, LF_FACESIZE, out->face);
            SelectObject(dc, old);
            out->textWidth = extent.right - extent.left;
            out->textHeight = extent.bottom - extent.top;
            out->clientWidth = client.right - client.left;
            out->clientHeight = client.bottom - client.top;
            InterlockedExchange(&out->done, 1);
        }
        if (dc)
            ReleaseDC(control, dc);
        HeapFree(GetProcessHeap(), 0, text);
        UnmapViewOfFile(out);
    }
    CloseHandle(mapping);
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    ProbeHook(int code, WPARAM wParam, LPARAM lParam) {
    static const UINT probeMessage = RegisterWindowMessageW(FARLINK_PROBE_MESSAGE);
    if (code == HC_ACTION) {
        const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (sent->message == probeMessage)
            Measure(sent->hwnd, static_cast<DWORD>(sent->wParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
