// The login exchange with the station: the frame out, the reply codes in.
#include "console/FarlinkDlg.h"
#include "console/StationProtocol.h"
#include "resources/resource.h"
#include "shell/AppShell.h"
#include "shell/LinkMessages.h"

#include <cstring>

bool CFarlinkDlg::StaleFor(unsigned attempt, const char* what) const {
    if (attempt == 0 || attempt != m_attempt.id || m_attempt.link == nullptr) {
        TraceStale(attempt, what);
        return true;
    }
    return m_attempt.link->Gone(attempt, what);
}

LRESULT CFarlinkDlg::OnRemoteConnected(WPARAM wParam, LPARAM) {
    // Posted by the link once it is up: it may have waited in the queue while its attempt
    // ended.
    const unsigned attempt = static_cast<unsigned>(wParam);
    if (StaleFor(attempt, "the login step"))
        return 0;
    Link& link = *m_attempt.link;
    OutputDebugStringA("Timeline: WM_REMOTE_CONNECTED\n");
    AppendStatus(LoadText(IDS_SENDING_LOGIN));
    UpdateWindow(m_hWnd);
    OutputDebugStringA("Timeline: dialog painted\n");

    // The values of the moment Dial was pressed: the fields may have changed since.
    const DialData& data = m_attempt.data;
    LoginFields fields{data.myNumber, data.username, data.password,
                       data.domain,   data.delay,    link.DirectCable()};
    std::vector<uint8_t> frame;
    if (!BuildLoginFrame(fields, frame)) {
        // Sending a cut frame would log in with the wrong values.
        AppendStatus(LoadTextOrOwn(IDS_FRAME_TOO_LONG));
        EndAttempt(Outcome::FrameTooLong);
        link.AbandonLogin(attempt);
        return 0;
    }
    OutputDebugStringA("Timeline: login frame built\n");
    link.SendLogin(attempt, frame);
    return 0;
}

LRESULT CFarlinkDlg::OnRemoteData(WPARAM count, LPARAM block) {
    LinkBlockTag tag{};
    if (block)
        std::memcpy(&tag, reinterpret_cast<const char*>(block) + count + 1, sizeof tag);
    // A block an earlier call's link left in the queue is not this call's answer. Nor are bytes
    // whose read began before the login went out (left on the line, or noise while the modem
    // settled): the station answers only a login it has.
    const bool stale = StaleFor(tag.attempt, "a block from its data channel");
    if (!stale && tag.epoch == 0)
        OutputDebugStringA("Data before the login was sent is no answer: it is dropped.\n");
    if (!stale && tag.epoch != 0)
        TakeAnswer(reinterpret_cast<const uint8_t*>(block), block ? static_cast<int>(count) : 0);
    if (block)
        LocalFree(reinterpret_cast<HLOCAL>(block));
    return 0;
}

void CFarlinkDlg::TakeAnswer(const uint8_t* bytes, int length) {
    OutputDebugStringA("Timeline: WM_REMOTE_DATA\n");
    std::vector<int> replies = ParseReplyBlock(m_attempt.replyState, bytes, length);
    NoteReply(replies);
    // The reply lines and the hang-up line that follows them go into the box together.
    HoldStatus();
    for (int id : replies) {
        std::string line = LoadText(static_cast<UINT>(id));
        if (id == kReplyConnectedTo)
            line += m_attempt.data.dialNumber;
        AppendStatus(line);
    }

    if (m_bAutoClose) {
        ShowHeldStatus(); // the reply lines are out before the dialog closes
        CloseByItself();
    } else {
        m_attempt.callbackPending = m_attempt.link->DirectCable();
        OnHangup();
    }
    ShowHeldStatus(); // nothing is held past this message
}

void CFarlinkDlg::OnChannelFailed(unsigned attempt) {
    if (StaleFor(attempt, "its data channel's hang-up request"))
        return;
    LinkEnded(attempt, CallEnd::Dropped);
    OnHangup();
}
