// The direct-cable link: the port of an attempt, its connection handshake and login exchange.
#include "links/CableLink.h"

#include "resources/resource.h"
#include "serial/DirectTransport.h"
#include "shell/AppShell.h"
#include "shell/LinkEvents.h"
#include "shell/LinkMessages.h"

void CableLink::Dial(const DialData& data) {
    m_attempt = data.attempt;
    m_exchanging = true;
    if (DirectConnect(data.portNumber - 1)) {
        LinkStatus(LoadText(IDS_CONNECTED_REMOTE));
        if (HWND dialog = MainWindowHandle())
            PostMessageA(dialog, WM_REMOTE_CONNECTED, data.attempt, 0);
        return;
    }
    m_attempt = 0;
    m_exchanging = false;
    LinkStatus(LoadText(IDS_CONNECT_ERROR));
    ReportCallEnd(data.attempt, CallEnd::NoConnection);
}

void CableLink::SendLogin(unsigned attempt, const std::vector<uint8_t>& frame) {
    if (Gone(attempt, "the login frame"))
        return;
    // Until the answer is handled (and the hang-up done), a Dial would send a second login.
    if (DirectSend(frame.data(), static_cast<int>(frame.size()), attempt) == 0)
        return; // the answer is on its way to the dialog
    LinkStatus(LoadText(IDS_SEND_LOGIN_ERROR));
    ReportCallEnd(attempt, CallEnd::LoginNotTaken);
    EndExchange();
}

void CableLink::AbandonLogin(unsigned attempt) {
    if (!Gone(attempt, "the unsent login"))
        EndExchange();
}

void CableLink::Hangup() {
    DirectHangup();
    m_attempt = 0;
    EndExchange();
}

// The port may stay open, but the exchange is over: Dial may send a login again.
void CableLink::EndExchange() {
    m_exchanging = false;
    LinkChanged();
}

bool CableLink::Gone(unsigned attempt, const char* what) const {
    if (m_attempt != 0 && attempt == m_attempt)
        return false;
    TraceStale(attempt, what);
    return true;
}
