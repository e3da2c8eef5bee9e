// The two waits of a call attempt: for the reply to a request and for a call
// state. Both serve the thread's messages and sleep while none are pending.
//
// Each wait has a flag that says "a wait of this kind has just ended". A wait
// started from a handler inside another wait's message dispatching sets it
// when it ends, and the outer wait then gives up with kWaitAborted: whatever
// the inner one did (usually StopCall) has changed what the outer one was
// waiting for.
#include "shell/DebugTrace.h"
#include "telephony/TapiCode.h"

namespace {

bool replyWaitEnded = false;
bool callStateWaitEnded = false;

// A provider that never answers must not keep the dialog busy for good.
const DWORD kReplyLimitMs = 60000;
const DWORD kCallStateLimitMs = 30000;
// Longest sleep between two looks at the wait's condition.
const DWORD kLongestNapMs = 250;

// Dispatches at most one pending message; with none pending, sleeps until
// one comes or napMs have passed. A WM_QUIT belongs to the loop that owns
// it: it is kept and posted again when the wait ends.
class MessageServer {
  public:
    ~MessageServer() {
        if (quit_)
            PostQuitMessage(quitCode_);
    }

    void ServeOne(DWORD napMs) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit_ = true;
                quitCode_ = static_cast<int>(msg.wParam);
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            return;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, napMs < kLongestNapMs ? napMs : kLongestNapMs,
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }

  private:
    bool quit_ = false;
    int quitCode_ = 0;
};

// The dialog is closing: a dial's wait has no one left to go on for. A stop's own waits still
// run their course, so the call is taken down before telephony is shut down.
bool ClosingUnderDial(const TapiState& tapi) {
    return tapi.dialogEnding && !tapi.stopping;
}

// What is left of a wait's own limit, and of the run's time limit when it has one.
DWORD Remaining(const TapiState& tapi, DWORD start, DWORD limit) {
    DWORD elapsed = GetTickCount() - start;
    DWORD left = elapsed >= limit ? 0 : limit - elapsed;
    if (tapi.attempt.cut) {
        const LONG toCut = static_cast<LONG>(tapi.attempt.cutTick - GetTickCount());
        if (toCut <= 0)
            return 0;
        if (static_cast<DWORD>(toCut) < left)
            left = static_cast<DWORD>(toCut);
    }
    return left;
}

// The wait ended by the run's time limit rather than its own: said once in the trace.
void TraceCut(const TapiState& tapi) {
    if (tapi.attempt.cut && static_cast<LONG>(tapi.attempt.cutTick - GetTickCount()) <= 0)
        DebugPrint("The run's time limit has passed: the wait is cut short.\n");
}

} // namespace

LONG WaitForReply(LONG value) {
    TapiState& tapi = Tapi();
    replyWaitEnded = false;
    if (value <= 0) {
        replyWaitEnded = true;
        return value; // a synchronous error, or nothing to wait for
    }
    // Set before any message is served, so the reply cannot come unseen.
    tapi.attempt.replyReceived = 0;
    tapi.attempt.awaitedRequestId = value;
    tapi.attempt.replyResult = static_cast<LONG>(LINEERR_OPERATIONFAILED);
    DWORD start = GetTickCount();
    MessageServer server;
    for (;;) {
        if (tapi.attempt.replyReceived) {
            replyWaitEnded = true;
            // A reply result is 0 or an error; anything else would read as
            // one of the wait's own results.
            return tapi.attempt.replyResult > 0 ? static_cast<LONG>(LINEERR_OPERATIONFAILED)
                                                : tapi.attempt.replyResult;
        }
        server.ServeOne(Remaining(tapi, start, kReplyLimitMs));
        // A line the service closed meanwhile sends no reply any more.
        if (!tapi.callInProgress || tapi.hLine == 0 || replyWaitEnded || ClosingUnderDial(tapi)) {
            replyWaitEnded = true;
            return kWaitAborted;
        }
        if (!tapi.attempt.replyReceived && Remaining(tapi, start, kReplyLimitMs) == 0) {
            replyWaitEnded = true;
            TraceCut(tapi);
            DebugPrint("Call timed out in WaitForReply.");
            return kWaitTimedOut;
        }
    }
}

int WaitForCallState(DWORD state) {
    TapiState& tapi = Tapi();
    callStateWaitEnded = false;
    DWORD start = GetTickCount();
    tapi.attempt.callStateChanged = 0;
    MessageServer server;
    for (;;) {
        if (state != 0 && tapi.attempt.callState == state) {
            callStateWaitEnded = true;
            return kWaitDone;
        }
        server.ServeOne(Remaining(tapi, start, kCallStateLimitMs));
        // An attempt stopped meanwhile (its drop also changes the state), or a
        // call the service took away with its line, ends the wait as aborted:
        // the waiting caller must not go on with the call.
        if (!tapi.callInProgress || tapi.hCall == 0 || callStateWaitEnded ||
            ClosingUnderDial(tapi)) {
            callStateWaitEnded = true;
            DebugPrint("WAITABORTED\n");
            return kWaitAborted;
        }
        if (state == 0 && tapi.attempt.callStateChanged) {
            callStateWaitEnded = true;
            return kWaitDone;
        }
        if (Remaining(tapi, start, kCallStateLimitMs) == 0) {
            callStateWaitEnded = true;
            TraceCut(tapi);
            DebugPrint("WAITTIMEDOUT\n");
            return kWaitTimedOut;
        }
    }
}
