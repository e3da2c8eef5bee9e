// Dial, Hangup and Close: open and end a link, and prepare for the callback.
#include "app/AppShell.h"
#include "app/ProgramStart.h"
#include "console/DialogRules.h"
#include "console/FarlinkDlg.h"
#include "console/WindowsKind.h"
#include "resources/resource.h"
#include "serial/DirectTransport.h"

int GetWindowsKind() {
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    bool ok = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) != 0;
    if (!ok) {
        info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        ok = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) != 0;
    }
    return ClassifyWindowsKind(ok, info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

void CFarlinkDlg::OnDial() {
    UpdateData(true);
    if (!m_tapi.callInProgress) {
        m_nReplyState = 0;
        BeginAttempt();
        if (m_nCommType == 0 && SendMessageA(m_comboLine, CB_GETCOUNT, 0, 0) > 0) {
            DialCall();
            if (!m_tapi.callInProgress)
                EndAttempt(Outcome::CallFailed); // unless the call code said why
        } else if (m_nCommType == 1 && SendMessageA(m_comboPort, CB_GETCOUNT, 0, 0) > 0) {
            DialDirect();
        } else {
            EndAttempt(Outcome::NothingToDial);
        }
    }
    UpdateControls();
}

void CFarlinkDlg::DialDirect() {
    LRESULT selected = SendMessageA(m_comboPort, CB_GETCURSEL, 0, 0);
    char name[64] = {};
    if (selected == CB_ERR || SendMessageA(m_comboPort, CB_GETLBTEXTLEN, selected, 0) >=
                                  static_cast<LRESULT>(sizeof name)) {
        EndAttempt(Outcome::NothingToDial); // no port chosen: nothing to open
        return;
    }
    SendMessageA(m_comboPort, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(name));
    int port = PortNumberFromName(name);
    if (DirectConnect(port - 1)) {
        AppendStatus(LoadText(IDS_CONNECTED_REMOTE));
        OnRemoteConnected(0, 0);
    } else {
        AppendStatus(LoadText(IDS_CONNECT_ERROR));
        EndAttempt(Outcome::NoConnection);
    }
}

void CFarlinkDlg::OnHangup() {
    AppendStatus(LoadText(IDS_HANGUP));
    ShowHeldStatus(); // before the link is closed, with the reply lines if they were held
    EndAttempt(Outcome::AnswerMissing); // hung up before the station's verdict
    if (m_nCommType == 0) {
        StopCall();
    } else {
        DirectHangup();
        if (m_bCallbackPending) {
            m_bCallbackPending = 0;
            if (UsesDirectCableProgram(GetWindowsKind()))
                StartCallbackReceiver();
            else
                AppMessageBox(FormatText(IDS_CALLBACK_NOTICE, m_nDelay), MB_OK);
        }
    }
    UpdateControls();
}

void CFarlinkDlg::StartCallbackReceiver() {
    StartDetachedProgram("Directcc.exe", SW_SHOW);
}

void CFarlinkDlg::OnClose() {
    m_tapi.dialogEnding = 1; // the close box ends the dialog, whatever waits now
    if (m_nCommType == 0)
        StopCall();
    else
        DirectHangup();
    UninitializeTapi();
}
