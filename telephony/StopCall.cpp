// Ends a call attempt in whatever state it is: data channel, call, line.
#include "shell/AppShell.h"
#include "modem/CommCode.h"
#include "resources/resource.h"
#include "shell/DebugTrace.h"
#include "shell/LinkEvents.h"
#include "telephony/TapiCode.h"

namespace {

void DropCall(TapiState& tapi) {
    LONG waited = 0;
    LONG dropped = RepeatWhileHandled(
        [&] {
            waited = WaitForReply(lineDrop(tapi.hCall, nullptr, 0));
            // The wait's own outcomes are no errors to handle.
            return waited == kWaitAborted || waited == kWaitTimedOut ? 0 : waited;
        },
        LINEERR_INVALCALLSTATE);
    if (waited == kWaitAborted)
        DebugPrint("lineDrop: WAITERR_WAITABORTED.");
    else if (dropped != 0 && !IsLineError(dropped, LINEERR_INVALCALLSTATE))
        ReportLineError(dropped, "lineDrop unhandled error: ", kTapiSource, __LINE__);
    // Whatever the drop gave, the call gets its chance to go idle.
    int idle = WaitForCallState(LINECALLSTATE_IDLE);
    if (idle == kWaitTimedOut)
        DebugPrint("Call timed out waiting for IDLE state.");
    else if (idle == kWaitAborted)
        DebugPrint("WAITERR_WAITABORTED while waiting for IDLE state.");
    DebugPrint("Call Dropped.");
}

} // namespace

int StopCall() {
    TapiState& tapi = Tapi();
    if (tapi.stopping || !tapi.callInProgress)
        return 1;
    tapi.stopping = 1;
    tapi.attempt.stopping = 1;
    DebugPrint("Stopping Call in progress");
    StopCommChannel();

    LPLINECALLSTATUS status = nullptr;
    if (tapi.hCall != 0) {
        status = QueryLineCallStatus(nullptr, tapi.hCall);
        if (status == nullptr) {
            // Nothing can be known about the call: telephony goes altogether.
            UninitializeTapi();
            tapi.stopping = 0;
            LinkChanged();
            return 0;
        }
        if ((status->dwCallState & LINECALLSTATE_IDLE) == 0)
            DropCall(tapi);
        // The drop's waits served messages: the service may have closed the
        // line, and the call with it, meanwhile.
        if (tapi.hCall != 0) {
            LONG freed = RepeatWhileHandled([&] { return lineDeallocateCall(tapi.hCall); });
            if (freed != 0)
                ReportLineError(freed, "lineDeallocateCall unhandled error: ", kTapiSource,
                                __LINE__);
            DebugPrint("Call Deallocated.");
        } else {
            DebugPrint("The call went with its line; nothing to deallocate.\n");
        }
    }
    if (tapi.hLine != 0) {
        LONG closed = RepeatWhileHandled([&] { return lineClose(tapi.hLine); });
        if (closed != 0)
            ReportLineError(closed, "lineClose unhandled error: ", kTapiSource, __LINE__);
        DebugPrint("Line Closed.");
    }
    // A CONNECTED served inside the waits may not have left a channel behind.
    StopCommChannel();
    FinishCallAttempt(tapi);
    tapi.stopping = 0;
    DebugPrint("Call stopped");
    LinkStatus(LoadText(IDS_READY));
    LinkChanged();
    if (status != nullptr)
        LocalFree(status);
    return 1;
}
