// Call attempts: their identity, their fresh state at the start, and their end.
#include "shell/LinkEvents.h"
#include "shell/DebugTrace.h"
#include "telephony/TapiCode.h"

void BeginCallAttempt(TapiState& tapi, const CallRequest& request) {
    tapi.attempt = CallAttempt{};
    tapi.attempt.id = request.id;
    tapi.attempt.deviceId = request.deviceId;
    tapi.attempt.dialNumber = request.dialNumber;
    tapi.attempt.cut = request.cut ? 1 : 0;
    tapi.attempt.cutTick = request.cutTick;
    // A handle an earlier call's late reply wrote is not this attempt's.
    tapi.hCall = 0;
    tapi.callInProgress = 1;
}

bool AttemptIsCurrent(unsigned id) {
    const TapiState& tapi = Tapi();
    return id != 0 && tapi.attempt.id == id && tapi.callInProgress && !tapi.attempt.stopping &&
           !tapi.dialogEnding;
}

bool AttemptGone(unsigned id, const char* what) {
    if (AttemptIsCurrent(id))
        return false;
    TraceStale(id, what);
    return true;
}

void FinishCallAttempt(TapiState& tapi) {
    const bool wasOn = tapi.callInProgress != 0;
    const bool connected = tapi.attempt.connected != 0;
    tapi.hCall = 0;
    tapi.hLine = 0;
    tapi.attempt.connected = 0;
    tapi.callInProgress = 0;
    // Whatever way the attempt ended, its outcome is reported; the report a
    // line event or a command made first stands (see CallOutcome.h). While
    // DialCall still runs, its caller reports, after DialCall's own box.
    if (wasOn && !tapi.dialogEnding && !tapi.attempt.dialling)
        ReportCallEnd(tapi.attempt.id, connected ? CallEnd::Dropped : CallEnd::ConnectFailed);
}
