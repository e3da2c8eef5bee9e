// Call states, disconnect modes and the failed-connect line.
#include "telephony/CallStateText.h"
#include "telephony/TapiValues.h"

using namespace TapiValue;

namespace {

const CallStateRow kCallStates[] = {
    {kCallStateIdle, "Line is idle", "Line idle\n", CallStateAction::Stop},
    {kCallStateOffering, nullptr, "Answering\n", CallStateAction::Answer},
    {kCallStateDialTone, "Dial Tone", "Dial Tone\n", CallStateAction::None},
    {kCallStateDialing, "Dialing Call", "Dialing\n", CallStateAction::None},
    {kCallStateRingBack, "RingBack", "RingBack\n", CallStateAction::None},
    {kCallStateProceeding, "Call is Proceeding", "Proceeding\n", CallStateAction::None},
    {kCallStateBusy, "Line is busy", "Line busy, shutting down\n", CallStateAction::Stop},
    {kCallStateSpecialInfo, "Special Info, probably couldn't dial number",
     "Special Info, probably couldn't dial number\n", CallStateAction::Stop},
    {kCallStateConnected, nullptr, nullptr, CallStateAction::Connect},
    // The disconnect mode gives its lines.
    {kCallStateDisconnected, nullptr, nullptr, CallStateAction::Stop},
};

const struct {
    uint32_t mode;
    const char* text;
} kDisconnectModes[] = {
    {kDisconnectNormal, "Remote Party Disconnected"},
    {kDisconnectUnknown, "Disconnected: Unknown reason"},
    {kDisconnectReject, "Remote Party rejected call"},
    {kDisconnectPickup, "Disconnected: Local phone picked up"},
    {kDisconnectForwarded, "Disconnected: Forwarded"},
    {kDisconnectBusy, "Disconnected: Busy"},
    {kDisconnectNoAnswer, "Disconnected: No Answer"},
    {kDisconnectBadAddress, "Disconnected: Bad Address"},
    {kDisconnectUnreachable, "Disconnected: Unreachable"},
    {kDisconnectCongestion, "Disconnected: Congestion"},
    {kDisconnectIncompatible, "Disconnected: Incompatible"},
    {kDisconnectUnavail, "Disconnected: Unavail"},
    {kDisconnectNoDialTone, "Disconnected: No Dial Tone"},
};

} // namespace

const CallStateRow* FindCallState(uint32_t state) {
    for (const CallStateRow& row : kCallStates)
        if (row.state == state)
            return &row;
    return nullptr;
}

const char* DisconnectModeText(uint32_t mode) {
    for (const auto& row : kDisconnectModes)
        if (row.mode == mode)
            return row.text;
    return "Disconnected: LINECALLSTATE; Bad Reason";
}

CallEnd CallEndOf(uint32_t state, uint32_t mode) {
    if (state == kCallStateBusy || (state == kCallStateDisconnected && mode == kDisconnectBusy))
        return CallEnd::Busy;
    if (state == kCallStateDisconnected && mode == kDisconnectNoAnswer)
        return CallEnd::NoAnswer;
    return CallEnd::Dropped;
}

std::string FailedToConnectText(const std::string& dialNumber) {
    static const char kHead[] = "Failed to Connect to '";
    const size_t room = kFailedToConnectRoom - 1 - (sizeof kHead - 1) - 1;
    return kHead + dialNumber.substr(0, room) + "'";
}
