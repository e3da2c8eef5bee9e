/* The smallest Win32 dialog program: the start-up benchmark's baseline. A modal dialog from an
   in-memory template with one static text, closed by its close box. */
#include <windows.h>

static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    if (message == WM_INITDIALOG) {
        SetDlgItemTextA(window, 100, "Ready to make a call.");
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, 0);
        return TRUE;
    }
    return FALSE;
}

/* DLGTEMPLATE, then menu, class and title, then one item; WORD-aligned, DWORD-aligned items. */
static WORD g_template[64];

static WORD* Text(WORD* at, const wchar_t* text) {
    do
        *at++ = (WORD)*text;
    while (*text++);
    return at;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)previous;
    (void)commandLine;
    (void)show;
    DLGTEMPLATE* dialog = (DLGTEMPLATE*)g_template;
    dialog->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_MODALFRAME;
    dialog->cdit = 1;
    dialog->cx = 200;
    dialog->cy = 60;
    WORD* at = (WORD*)(dialog + 1);
    *at++ = 0; /* no menu */
    *at++ = 0; /* the dialog class */
    at = Text(at, L"Bare Dialog");
    at = (WORD*)(((ULONG_PTR)at + 3) & ~(ULONG_PTR)3);
    DLGITEMTEMPLATE* item = (DLGITEMTEMPLATE*)at;
    item->style = WS_CHILD | WS_VISIBLE | SS_LEFT;
    item->x = 10;
    item->y = 10;
    item->cx = 180;
    item->cy = 12;
    item->id = 100;
    at = (WORD*)(item + 1);
    *at++ = 0xFFFF;
    *at++ = 0x0082; /* static */
    *at++ = 0;      /* no text yet */
    *at++ = 0;      /* no creation data */
    return (int)DialogBoxIndirectA(instance, dialog, NULL, Procedure);
}
