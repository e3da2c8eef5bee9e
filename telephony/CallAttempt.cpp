// Call attempts: their identity, their fresh state at the start, and their end.
#include "console/CallOutcome.h"
#include "telephony/DebugTrace.h"
#include "telephony/TapiCode.h"

unsigned BeginCallAttempt(TapiState& tapi) {
    tapi.attempt = CallAttempt{};
    tapi.attempt.id = ++tapi.attemptsStarted;
    if (tapi.attempt.id == 0) // wrapped: 0 means "no attempt yet"
        tapi.attempt.id = ++tapi.attemptsStarted;
    // A handle an earlier call's late reply wrote is not this attempt's.
    tapi.hCall = 0;
    tapi.callInProgress = 1;
    return tapi.attempt.id;
}

bool AttemptIsCurrent(unsigned id) {
    const TapiState& tapi = Tapi();
    return id != 0 && tapi.attempt.id == id && tapi.callInProgress && !tapi.stopping &&
           !tapi.dialogEnding;
}

bool AttemptGone(unsigned id, const char* what) {
    if (AttemptIsCurrent(id))
        return false;
    DebugPrint("Call attempt %u has ended or is being stopped: %s is dropped.\n", id, what);
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
        ReportCallEnd(connected ? CallEnd::Dropped : CallEnd::ConnectFailed);
}
