// The line callback: every message is traced, then handled on the
// user-interface thread inside its message dispatching.
#include "console/FarlinkDlg.h"
#include "telephony/DebugTrace.h"
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
    if (static_cast<LONG>(requestId) == tapi.awaitedRequestId) {
        tapi.replyReceived = 1;
        tapi.replyResult = static_cast<LONG>(result);
    }
}

void OnLineCreate(DWORD, DWORD, DWORD_PTR, DWORD_PTR newDevice, DWORD_PTR, DWORD_PTR) {
    TapiState& tapi = Tapi();
    // A provider's id of 0xFFFFFFFF must not wrap the count to 0.
    if (newDevice >= tapi.numDevs && newDevice < 0xFFFFFFFFu)
        tapi.numDevs = static_cast<DWORD>(newDevice) + 1;
}

// Call progress and line closing are handled once calls are placed.
void OnLineCallState(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}
void OnLineClose(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

void OnLineDevState(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR state,
                    DWORD_PTR detail, DWORD_PTR extra) {
    switch (state) {
    case LINEDEVSTATE_RINGING:
        if (CFarlinkDlg* dialog = TheMainDialog())
            dialog->AppendStatus("Line Ringing");
        DebugPrint("Line Ringing.\n");
        break;
    case LINEDEVSTATE_DISCONNECTED:
    case LINEDEVSTATE_OUTOFSERVICE:
    case LINEDEVSTATE_MAINTENANCE:
        // The warning comes first, while it can still name the call.
        WarnUser(state == LINEDEVSTATE_DISCONNECTED ? "Line selected is now disconnected."
                 : state == LINEDEVSTATE_OUTOFSERVICE
                     ? "Line selected is now Out of Service."
                     : "Line selected is now out for maintenance.");
        StopCall();
        break;
    case LINEDEVSTATE_REINIT:
        if (detail == 0) {
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
