// The login exchange with the station: the frame out, the reply codes in.
#include "app/AppShell.h"
#include "console/FarlinkDlg.h"
#include "console/RemoteMessages.h"
#include "console/StationProtocol.h"
#include "modem/CommCode.h"
#include "resources/resource.h"
#include "serial/DirectTransport.h"

LRESULT CFarlinkDlg::OnRemoteConnected(WPARAM, LPARAM) {
    UpdateData(true);
    OutputDebugStringA("Timeline: WM_REMOTE_CONNECTED\n");
    AppendStatus(LoadText(IDS_SENDING_LOGIN));
    UpdateWindow(m_hWnd);
    OutputDebugStringA("Timeline: dialog painted\n");

    bool direct = m_nCommType != 0;
    LoginFields fields{m_strMyNumber, m_strUsername, m_strPassword, m_strDomain, m_nDelay, direct};
    std::vector<uint8_t> frame;
    if (!BuildLoginFrame(fields, frame)) {
        // Sending a cut frame would log in with the wrong values.
        AppendStatus(LoadTextOrOwn(IDS_FRAME_TOO_LONG));
        EndAttempt(Outcome::FrameTooLong);
        return 0;
    }
    OutputDebugStringA("Timeline: login frame built\n");

    if (!direct) {
        // The modem needs time to settle after connecting before it passes
        // data through.
        Sleep(5000);
        OutputDebugStringA("Timeline: settle over\n");
        WriteComm(frame.data(), static_cast<DWORD>(frame.size()));
    } else if (DirectSend(frame.data(), static_cast<int>(frame.size())) != 0) {
        AppendStatus(LoadText(IDS_SEND_LOGIN_ERROR));
        EndAttempt(Outcome::LoginNotTaken);
    }
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
