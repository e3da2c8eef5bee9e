// Modal dialog runner and message routing.
#include "console/Dialog.h"
#include "shell/AppShell.h"

INT_PTR Dialog::DoModal(HWND parent) {
    return DialogBoxParamA(CurrentResourceModule(), MAKEINTRESOURCEA(m_nTemplateId), parent,
                           &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

void Dialog::EndDialog(INT_PTR result) {
    m_bEnding = true;
    ::EndDialog(m_hWnd, result);
}

bool Dialog::UpdateData(bool saveAndValidate) {
    DataExchange exchange(m_hWnd, saveAndValidate);
    DoDataExchange(exchange);
    return !exchange.Failed();
}

BOOL Dialog::OnInitDialog() {
    UpdateData(false);
    return TRUE;
}

bool Dialog::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
    // OK and Cancel end the dialog; the dialog manager turns Escape and the
    // close box into Cancel when the window does not handle WM_CLOSE itself.
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED &&
        (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(LOWORD(wParam));
        result = TRUE;
        return true;
    }
    return false;
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        self->m_hWnd = hwnd;
        return self->OnInitDialog();
    }
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (!self)
        return FALSE;
    const INT_PTR answer = self->Answer(hwnd, message, wParam, lParam);
    // EndDialog wakes the dialog's loop with one posted message, which a wait or box that served
    // the command may have taken. A handler that ran as a sent message (another program pressing
    // a button) returns into the loop's GetMessage, which would then sleep on, the dialog hidden
    // and the program never ending. Each handler that returns after the end wakes it again.
    if (self->m_bEnding && message != WM_NULL && self->m_hWnd != nullptr)
        PostMessageA(hwnd, WM_NULL, 0, 0);
    return answer;
}

INT_PTR Dialog::Answer(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result = FALSE;
    bool handled = OnMessage(message, wParam, lParam, result);
    if (message == WM_NCDESTROY)
        m_hWnd = nullptr;
    if (!handled)
        return FALSE;
    // Messages with a value of their own return it directly; the rest set
    // DWLP_MSGRESULT as the dialog manager expects.
    switch (message) {
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        return result;
    default:
        SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
}
