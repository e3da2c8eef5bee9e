// The modem link: the telephony call of an attempt, the settle before its login, and the login
// written on the call's data channel.
#include "links/ModemLink.h"

#include "modem/CommCode.h"
#include "shell/LinkEvents.h"
#include "telephony/MessageWait.h"

#include <algorithm>

namespace {
// How long a connected modem gets before the login frame goes.
constexpr DWORD kModemSettleMs = 5000;
// How often that wait looks whether the call is still on (a close must not wait for it).
constexpr DWORD kSettleSliceMs = 100;
} // namespace

ModemLink::ModemLink() {
    SetTapiState(&m_tapi);
}

ModemLink::~ModemLink() {
    SetTapiState(nullptr);
}

void ModemLink::Dial(const DialData& data) {
    CallRequest request;
    request.id = data.attempt;
    request.deviceId = data.deviceId;
    request.dialNumber = data.dialNumber;
    request.cut = data.cut;
    request.cutTick = data.cutTick;
    DialCall(request);
}

void ModemLink::SendLogin(unsigned attempt, const std::vector<uint8_t>& frame) {
    // The modem needs time to settle after connecting before it passes data through. The
    // dialog stays served meanwhile, so the call may end (or another begin) before the frame
    // goes. The last slice is cut to what is left, so the settle ends on time.
    const DWORD start = GetTickCount();
    for (DWORD spent;
         AttemptIsCurrent(attempt) && (spent = GetTickCount() - start) < kModemSettleMs;)
        ServeMessagesUntil(GetTickCount(), std::min(kSettleSliceMs, kModemSettleMs - spent));
    if (AttemptGone(attempt, "the login frame"))
        return;
    OutputDebugStringA("Timeline: settle over\n");
    // Whatever the channel read before this moment is no answer to the login.
    if (RearmCommChannel() && WriteComm(frame.data(), static_cast<DWORD>(frame.size())))
        return;
    // The Status box says why; the station got no usable login.
    ReportCallEnd(attempt, CallEnd::LoginNotTaken);
    StopCall();
}

void ModemLink::AbandonLogin(unsigned attempt) {
    if (!AttemptGone(attempt, "the hang-up of a call whose login does not fit"))
        StopCall(); // nothing will be sent: the call has no use
}

void ModemLink::Hangup() {
    StopCall();
}

void ModemLink::Close() {
    StopCall();
}

bool ModemLink::Busy() const {
    // A stop or a shutdown still holds the line, and telephony being started has none yet.
    return m_tapi.callInProgress || m_tapi.stopping || m_tapi.shuttingDown || m_tapi.initializing;
}

bool ModemLink::Gone(unsigned attempt, const char* what) const {
    return AttemptGone(attempt, what);
}
