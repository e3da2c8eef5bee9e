// The login exchange with the station: the frame out, the reply codes in.
#include "app/AppShell.h"
#include "console/FarlinkDlg.h"
#include "console/RemoteMessages.h"
#include "console/StationProtocol.h"
#include "modem/CommCode.h"
#include "resources/resource.h"
#include "serial/DirectTransport.h"
#include "telephony/MessageWait.h"

#include <algorithm>
#include <cstring>

namespace {
// How long a connected modem gets before the login frame goes.
constexpr DWORD kModemSettleMs = 5000;
// How often that wait looks whether the call is still on (a close must not wait for it).
constexpr DWORD kSettleSliceMs = 100;
} // namespace

LRESULT CFarlinkDlg::OnRemoteConnected(WPARAM attempt, LPARAM) {
    // Posted by a modem call's connect sequence: it may have waited in the
    // queue while that call ended.
    const bool modem = attempt != 0;
    const unsigned id = static_cast<unsigned>(attempt);
    if (modem && AttemptGone(id, "the login step"))
        return 0;
    UpdateData(true);
    OutputDebugStringA("Timeline: WM_REMOTE_CONNECTED\n");
    AppendStatus(LoadText(IDS_SENDING_LOGIN));
    UpdateWindow(m_hWnd);
    OutputDebugStringA("Timeline: dialog painted\n");

    LoginFields fields{m_strMyNumber, m_strUsername, m_strPassword, m_strDomain, m_nDelay, !modem};
    std::vector<uint8_t> frame;
    if (!BuildLoginFrame(fields, frame)) {
        // Sending a cut frame would log in with the wrong values.
        AppendStatus(LoadTextOrOwn(IDS_FRAME_TOO_LONG));
        EndAttempt(Outcome::FrameTooLong);
        if (modem)
            StopCall(); // nothing will be sent: the call has no use
        return 0;
    }
    OutputDebugStringA("Timeline: login frame built\n");

    if (modem) {
        // The modem needs time to settle after connecting before it passes
        // data through. The dialog stays served meanwhile, so the call may
        // end (or another begin) before the frame goes.
        // The last slice is cut to what is left, so the settle ends on time.
        const DWORD start = GetTickCount();
        for (DWORD spent; AttemptIsCurrent(id) && (spent = GetTickCount() - start) < kModemSettleMs;)
            ServeMessagesUntil(GetTickCount(), std::min(kSettleSliceMs, kModemSettleMs - spent));
        if (AttemptGone(id, "the login frame"))
            return 0;
        OutputDebugStringA("Timeline: settle over\n");
        m_tapi.attempt.loginSent = 1;
        if (!WriteComm(frame.data(), static_cast<DWORD>(frame.size()))) {
            // The Status box says why; the station got no usable login.
            EndAttempt(Outcome::LoginNotTaken);
            StopCall();
        }
    } else if (DirectSend(frame.data(), static_cast<int>(frame.size())) != 0) {
        AppendStatus(LoadText(IDS_SEND_LOGIN_ERROR));
        EndAttempt(Outcome::LoginNotTaken);
    }
    return 0;
}

LRESULT CFarlinkDlg::OnModemData(WPARAM count, LPARAM block) {
    unsigned tag = 0;
    if (block)
        std::memcpy(&tag, reinterpret_cast<const char*>(block) + count + 1, sizeof tag);
    // A block an earlier call's read thread left in the queue is not this call's answer. Nor
    // are bytes that came before the login went out (left on the line, or noise while the
    // modem settled): the station answers only a login it has.
    const bool stale = tag != m_tapi.attempt.id;
    if (!stale && m_tapi.attempt.loginSent)
        return OnRemoteData(count, block);
    if (stale)
        AttemptGone(tag, "a block from its data channel");
    else
        OutputDebugStringA("Data before the login was sent is no answer: it is dropped.\n");
    if (block)
        LocalFree(reinterpret_cast<HLOCAL>(block));
    return 0;
}

LRESULT CFarlinkDlg::OnRemoteData(WPARAM count, LPARAM block) {
    OutputDebugStringA("Timeline: WM_REMOTE_DATA\n");
    auto* bytes = reinterpret_cast<const uint8_t*>(block);
    int length = bytes ? static_cast<int>(count) : 0;
    std::vector<int> replies = ParseReplyBlock(m_nReplyState, bytes, length);
    NoteReply(replies);
    // The reply lines and the hang-up line that follows them go into the box together.
    HoldStatus();
    for (int id : replies) {
        std::string line = LoadText(static_cast<UINT>(id));
        if (id == kReplyConnectedTo)
            line += m_strDialNumber;
        AppendStatus(line);
    }
    if (block)
        LocalFree(reinterpret_cast<HLOCAL>(block));

    if (m_bAutoClose) {
        ShowHeldStatus(); // the reply lines are out before the dialog closes
        CloseByItself();
    } else {
        m_bCallbackPending = 1;
        OnHangup();
    }
    ShowHeldStatus(); // nothing is held past this message
    return 0;
}
