// The line callback: every message is traced, then handled on the
// user-interface thread inside its message dispatching.
#include "shell/LinkEvents.h"
#include "telephony/CallStateText.h"
#include "shell/DebugTrace.h"
#include "telephony/LineErrorBoxes.h"
#include "telephony/TapiCode.h"
#include <cstdio>
#include <cstring>

namespace {

// Warning box naming the call that is about to be closed, also traced.
void WarnUser(const char* text) {
    char message[1024];
    snprintf(message, sizeof message, "%s", text);
    if (Tapi().hCall != 0) {
        size_t length = strlen(message);
        snprintf(message + length, sizeof message - length, "\nClosing existing call.");
    }
    WarningBox(message, MB_OK);
    DebugPrint("%s\r\n", message);
}

void OnLineReply(DWORD, DWORD, DWORD_PTR, DWORD_PTR requestId, DWORD_PTR result, DWORD_PTR) {
    TapiState& tapi = Tapi();
    if (result != 0)
        ReportLineError(static_cast<LONG>(result), "LINE_REPLY error: ", kTapiSource, __LINE__);
    else
        DebugPrint("LINE_REPLY: successfully replied.\n");
    if (static_cast<LONG>(requestId) == tapi.attempt.awaitedRequestId) {
        tapi.attempt.replyReceived = 1;
        tapi.attempt.replyResult = static_cast<LONG>(result);
    }
}

void OnLineCreate(DWORD, DWORD, DWORD_PTR, DWORD_PTR newDevice, DWORD_PTR, DWORD_PTR) {
    TapiState& tapi = Tapi();
    // A provider's id of 0xFFFFFFFF must not wrap the count to 0.
    if (newDevice >= tapi.numDevs && newDevice < 0xFFFFFFFFu)
        tapi.numDevs = static_cast<DWORD>(newDevice) + 1;
}

// A call the program did not place itself is not its to keep: the
// privilege says so.
bool KeepAfterPrivilege(DWORD_PTR privilege) {
    if (privilege == 0)
        return true;
    if (privilege == LINECALLPRIVILEGE_MONITOR) {
        DebugPrint("line given monitor privilege; closing\n");
    } else if (privilege == LINECALLPRIVILEGE_OWNER) {
        DebugPrint("line given owner privilege; closing\n");
        ReportCallEnd(Tapi().attempt.id, CallEnd::Dropped);
        StopCall();
        return true; // the state is still reported
    } else {
        DebugPrint("Unknown LINECALLPRIVILEGE message: closing\n");
    }
    ReportCallEnd(Tapi().attempt.id, CallEnd::Dropped);
    StopCall();
    return false;
}

void OnLineCallState(DWORD device, DWORD, DWORD_PTR, DWORD_PTR state, DWORD_PTR mode,
                     DWORD_PTR privilege) {
    TapiState& tapi = Tapi();
    // Without a call of ours every call is someone else's (or an earlier
    // attempt's).
    if (!tapi.callInProgress || tapi.hCall == 0 || device != tapi.hCall) {
        DebugPrint("LINE_CALLSTATE: Unknown device ID '0x%lx'.",
                   static_cast<unsigned long>(device));
        return;
    }
    tapi.attempt.callState = static_cast<DWORD>(state);
    tapi.attempt.callStateChanged = 1;
    if (!KeepAfterPrivilege(privilege))
        return;
    const CallStateRow* row = FindCallState(static_cast<uint32_t>(state));
    if (row == nullptr) {
        DebugPrint("Unhandled LINECALLSTATE message\n");
        return;
    }
    const char* status = row->status;
    if (state == LINECALLSTATE_DISCONNECTED)
        status = DisconnectModeText(static_cast<uint32_t>(mode));
    if (status != nullptr)
        AppendTapiStatus(status);
    if (row->debug != nullptr)
        DebugPrint("%s", row->debug);
    else if (status != nullptr)
        DebugPrint("%s\n", status);
    switch (row->action) {
    case CallStateAction::Stop:
        // The idle state that the program's own drop brings is no news.
        if (!tapi.attempt.stopping)
            ReportCallEnd(tapi.attempt.id, CallEndOf(static_cast<uint32_t>(state), static_cast<uint32_t>(mode)));
        StopCall();
        break;
    case CallStateAction::Answer:
        lineAnswer(tapi.hCall, nullptr, 0);
        break;
    case CallStateAction::Connect:
        StartConnectSequence();
        break;
    case CallStateAction::None:
        break;
    }
}

void OnLineClose(DWORD device, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    TapiState& tapi = Tapi();
    // A line closed after its attempt ended is no news for the current one.
    if (tapi.hLine == 0 || device != tapi.hLine) {
        DebugPrint("LINE_CLOSE: Unknown line '0x%lx'.\n", static_cast<unsigned long>(device));
        return;
    }
    // The service has closed the line: neither handle may be used again.
    tapi.hLine = 0;
    tapi.hCall = 0;
    AppendTapiStatus("Call was shut down.");
    ReportCallEnd(tapi.attempt.id, CallEnd::Dropped);
    StopCall();
}

void OnLineDevState(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR state,
                    DWORD_PTR detail, DWORD_PTR extra) {
    switch (state) {
    case LINEDEVSTATE_RINGING:
        AppendTapiStatus("Line Ringing");
        DebugPrint("Line Ringing.\n");
        break;
    case LINEDEVSTATE_DISCONNECTED:
    case LINEDEVSTATE_OUTOFSERVICE:
    case LINEDEVSTATE_MAINTENANCE: {
        // The warning comes first, while it can still name the call.
        const unsigned id = Tapi().attempt.id;
        const bool forAttempt = AttemptIsCurrent(id);
        WarnUser(state == LINEDEVSTATE_DISCONNECTED ? "Line selected is now disconnected."
                 : state == LINEDEVSTATE_OUTOFSERVICE
                     ? "Line selected is now Out of Service."
                     : "Line selected is now out for maintenance.");
        // The box served messages: only the attempt it warned about is ended.
        if (!forAttempt || AttemptGone(id, "the line state's hang-up"))
            break;
        ReportCallEnd(id, CallEnd::Dropped);
        StopCall();
        break;
    }
    case LINEDEVSTATE_REINIT:
        if (detail == 0) {
            // The call goes with telephony: that ends its attempt.
            if (AttemptIsCurrent(Tapi().attempt.id))
                ReportCallEnd(Tapi().attempt.id, CallEnd::Dropped);
            UninitializeTapi();
            WarnUser("Tapi line configuration has changed.");
        } else if (detail == LINE_LINEDEVSTATE) {
            DebugPrint("Soft REINIT: LINE_LINEDEVSTATE.\n");
            OnLineDevState(device, message, instance, extra, 0, 0);
        } else if (detail == LINE_CREATE) {
            DebugPrint("Soft REINIT: LINE_CREATE.\n");
            OnLineCreate(device, message, instance, extra, 0, 0);
        } else {
            DebugPrint("Ignoring soft REINIT\n");
        }
        break;
    case LINEDEVSTATE_TRANSLATECHANGE:
        break;
    case LINEDEVSTATE_REMOVED:
        DebugPrint("A Line device has been removed; no action taken.\n");
        break;
    default:
        DebugPrint("Unhandled LINEDEVSTATE message\n");
        break;
    }
}

} // namespace

void CALLBACK lineCallbackFunc(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR param1,
                               DWORD_PTR param2, DWORD_PTR param3) {
    TraceLineCallback(device, message, instance, param1, param2, param3);
    switch (message) {
    case LINE_CALLSTATE:
        OnLineCallState(device, message, instance, param1, param2, param3);
        break;
    case LINE_CLOSE:
        OnLineClose(device, message, instance, param1, param2, param3);
        break;
    case LINE_LINEDEVSTATE:
        OnLineDevState(device, message, instance, param1, param2, param3);
        break;
    case LINE_REPLY:
        OnLineReply(device, message, instance, param1, param2, param3);
        break;
    case LINE_CREATE:
        OnLineCreate(device, message, instance, param1, param2, param3);
        break;
    default:
        DebugPrint("lineCallbackFunc message ignored\n");
        break;
    }
}
