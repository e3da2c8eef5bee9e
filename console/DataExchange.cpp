// Control-to-member bindings of the dialog data exchange.
#include "console/DataExchange.h"
#include "shell/AppShell.h"
#include "console/DialogRules.h"
#include "resources/resource.h"
#include <vector>

std::string WindowText(HWND hwnd) {
    int length = GetWindowTextLengthA(hwnd);
    if (length <= 0)
        return std::string();
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    int n = GetWindowTextA(hwnd, buffer.data(), length + 1);
    return std::string(buffer.data(), n > 0 ? static_cast<size_t>(n) : 0);
}

void DataExchange::Fail(int id, UINT messageId) {
    m_bFailed = true;
    AppMessageBox(LoadTextOrOwn(messageId), MB_OK | MB_ICONEXCLAMATION);
    HWND control = GetDlgItem(m_hDialog, id);
    if (control) {
        SetFocus(control);
        SendMessageA(control, EM_SETSEL, 0, -1);
    }
}

void DataExchange::Control(int id, HWND& control) {
    if (!m_bFailed && !control)
        control = GetDlgItem(m_hDialog, id);
}

void DataExchange::Text(int id, std::string& value) {
    if (m_bFailed)
        return;
    HWND control = GetDlgItem(m_hDialog, id);
    if (m_bSaveAndValidate)
        value = WindowText(control);
    else
        SetWindowTextA(control, value.c_str());
}

void DataExchange::Integer(int id, int& value) {
    if (m_bFailed)
        return;
    HWND control = GetDlgItem(m_hDialog, id);
    if (!m_bSaveAndValidate) {
        SetWindowTextA(control, std::to_string(value).c_str());
        return;
    }
    int parsed = 0;
    if (ParseIntegerField(WindowText(control), parsed))
        value = parsed;
    else
        Fail(id, IDS_ENTER_INTEGER);
}

void DataExchange::Radio(int firstId, int& index) {
    if (m_bFailed)
        return;
    if (m_bSaveAndValidate)
        index = -1;
    // The group runs from its first button up to the next control that
    // starts a group; only radio buttons count towards the index.
    HWND control = GetDlgItem(m_hDialog, firstId);
    int button = 0;
    while (control) {
        if (SendMessageA(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) {
            if (m_bSaveAndValidate) {
                if (SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED)
                    index = button;
            } else {
                SendMessageA(control, BM_SETCHECK, button == index ? BST_CHECKED : BST_UNCHECKED,
                             0);
            }
            ++button;
        }
        control = GetWindow(control, GW_HWNDNEXT);
        if (control && (GetWindowLongA(control, GWL_STYLE) & WS_GROUP))
            break;
    }
}
