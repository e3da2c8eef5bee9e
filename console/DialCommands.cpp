// Dial, Hangup and Close: start an attempt on the chosen link, end it, and prepare for the
// callback.
#include "console/DialogRules.h"
#include "console/FarlinkDlg.h"
#include "console/WindowsKind.h"
#include "resources/resource.h"
#include "shell/AppShell.h"
#include "shell/ProgramStart.h"

namespace {
// How long past its time limit an unattended run still gives the call's waits: enough for a
// provider that answers the drop, too short to keep a scheduled run alive.
constexpr DWORD kCutGraceMs = 3000;
} // namespace

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
    // A Dial served inside one of Dial's own boxes, or while a link is still busy with a call
    // (placing, connected or being taken down), starts nothing.
    if (!m_bDialing && !AnyLinkBusy()) {
        m_bDialing = true;
        UpdateData(true);
        // A box about a field serves messages: the dialog may be closing by now.
        if (!m_modem.m_tapi.dialogEnding && !AnyLinkBusy())
            StartAttempt();
        m_bDialing = false;
    }
    UpdateControls();
}

void CFarlinkDlg::StartAttempt() {
    Link& link = ChosenLink();
    m_attempt = DialAttempt{};
    m_attempt.id = ++m_attemptsStarted;
    if (m_attempt.id == 0) // wrapped: 0 means "no attempt"
        m_attempt.id = ++m_attemptsStarted;
    m_attempt.link = &link;
    BeginAttempt();
    if (!TakeDialData(m_attempt.data)) {
        EndAttempt(Outcome::NothingToDial);
        return;
    }
    link.Dial(m_attempt.data);
    if (!link.Busy())
        EndAttempt(Outcome::CallFailed); // unless the link said why: the first outcome stands
}

// The values the attempt will use, whatever the dialog shows later; false when the chosen
// link has no line or port to dial on.
bool CFarlinkDlg::TakeDialData(DialData& data) {
    data.attempt = m_attempt.id;
    data.dialNumber = m_strDialNumber;
    data.myNumber = m_strMyNumber;
    data.username = m_strUsername;
    data.password = m_strPassword;
    data.domain = m_strDomain;
    data.delay = m_nDelay;
    data.deviceId = m_modem.m_tapi.deviceId;
    // Nobody is there to end a wait that the line keeps going: the time limit ends them all.
    data.cut = Unattended() && m_nTimeout > 0;
    data.cutTick = GetTickCount() + static_cast<DWORD>(m_nTimeout) * 1000u + kCutGraceMs;
    if (!m_attempt.link->DirectCable())
        return SendMessageA(m_comboLine, CB_GETCOUNT, 0, 0) > 0;
    LRESULT selected = SendMessageA(m_comboPort, CB_GETCURSEL, 0, 0);
    char name[64] = {};
    if (selected == CB_ERR || SendMessageA(m_comboPort, CB_GETLBTEXTLEN, selected, 0) >=
                                  static_cast<LRESULT>(sizeof name))
        return false;
    SendMessageA(m_comboPort, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(name));
    data.portNumber = PortNumberFromName(name);
    return true;
}

void CFarlinkDlg::OnHangup() {
    AppendStatus(LoadText(IDS_HANGUP));
    ShowHeldStatus(); // before the link is closed, with the reply lines if they were held
    EndAttempt(Outcome::AnswerMissing); // hung up before the station's verdict
    // The callback step belongs to the exchange that just ended, and to no later one.
    const bool callback = m_attempt.callbackPending;
    m_attempt.callbackPending = false;
    AttemptLink().Hangup();
    if (callback) {
        if (UsesDirectCableProgram(GetWindowsKind()))
            StartCallbackReceiver();
        else
            AppMessageBox(FormatText(IDS_CALLBACK_NOTICE, m_attempt.data.delay), MB_OK);
    }
    UpdateControls();
}

void CFarlinkDlg::StartCallbackReceiver() {
    StartDetachedProgram("Directcc.exe", SW_SHOW);
}

void CFarlinkDlg::OnClose() {
    m_modem.DialogEnding(); // the close box ends the dialog, whatever waits now
    // The attempt's link first; the other may still hold a port or call of its own.
    Link& first = AttemptLink();
    first.Close();
    (&first == &m_modem ? static_cast<Link&>(m_cable) : m_modem).Close();
    m_modem.ShutDown();
}
