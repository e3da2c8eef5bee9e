// Dialling a number in parts: the modem gets the number up to each pause
// character it cannot handle itself, and the operator says when to go on.
#include "shell/AppShell.h"
#include "resources/resource.h"
#include "telephony/CallParams.h"
#include "shell/DebugTrace.h"
#include "telephony/DialPlan.h"
#include "telephony/TapiCode.h"
#include "telephony/TapiTrace.h"

namespace {

struct PartBlocks {
    LPLINEADDRESSCAPS addressCaps = nullptr;
    LPLINECALLPARAMS params = nullptr;
    LPLINECALLSTATUS status = nullptr;
    ~PartBlocks() {
        for (void* block : {static_cast<void*>(addressCaps), static_cast<void*>(params),
                            static_cast<void*>(status)})
            if (block != nullptr)
                LocalFree(block);
    }
};

// Sends one part, as lineMakeCall for the first and lineDial after it, again
// while the error is one HandleLineError deals with. Pause-character errors,
// aborts and time-outs go back to the caller as they are.
LONG SendPart(TapiState& tapi, unsigned id, bool first, const std::string& part,
              LPLINECALLPARAMS params) {
    for (;;) {
        LONG request = first ? lineMakeCall(tapi.hLine, &tapi.hCall, part.c_str(), 0, params)
                             : lineDial(tapi.hCall, part.c_str(), 0);
        LONG result = WaitForReply(request);
        if (result == 0 || result == kWaitAborted || result == kWaitTimedOut ||
            IsPauseDialError(static_cast<uint32_t>(result)) || !HandleLineError(result))
            return result;
        // The error's box served messages: a stopped attempt is not dialled again.
        if (AttemptGone(id, "a part repeated after its error"))
            return kWaitAborted;
    }
}

// After a part that ends at a pause: waits until the call can be dialled
// again, then lets the operator say when. False when the attempt ended.
bool PauseDialling(TapiState& tapi, unsigned id, PartBlocks& blocks, char pause) {
    for (;;) {
        blocks.status = QueryLineCallStatus(blocks.status, tapi.hCall);
        if (blocks.status == nullptr)
            return false;
        if ((blocks.status->dwCallFeatures & LINECALLFEATURE_DIAL) != 0)
            break;
        DebugPrint("Waiting for dialing to be enabled.\n");
        if (WaitForCallState(0) != kWaitDone)
            return false;
    }
    DebugPrint("Ok to continue dialing.\n");
    AppMessageBox(LoadText(IDS_DIALING_PAUSED) + "\n" + PausePrompt(pause), MB_OK);
    // The box served messages: the call may have ended meanwhile, or the
    // dialog been closed.
    if (tapi.hCall == 0 || !AttemptIsCurrent(id)) {
        DebugPrint("The call ended while dialing was paused.\n");
        return false;
    }
    return true;
}

} // namespace

LPLINECALLPARAMS CreateCallParams(LPLINECALLPARAMS block, const char* dial) {
    size_t size = CallParamsSize(dial);
    if (size > 0x7FFFFFFF)
        return nullptr;
    void* params = AllocTapiStruct(block, static_cast<DWORD>(size), "CreateCallParams: ");
    if (params == nullptr)
        return nullptr;
    FillCallParams(static_cast<uint8_t*>(params), LocalSize(params), dial);
    return static_cast<LPLINECALLPARAMS>(params);
}

BOOL DialCallInParts(LPLINEDEVCAPS caps, const char* dial) {
    TapiState& tapi = Tapi();
    // The attempt this dialling belongs to; every part goes out only while it is on.
    const unsigned id = tapi.attempt.id;
    PartBlocks blocks;
    blocks.addressCaps = QueryLineAddressCaps(nullptr, tapi.attempt.deviceId, 0, tapi.apiVersion, 0);
    if (blocks.addressCaps == nullptr || AttemptGone(id, "dialling after the address caps"))
        return FALSE;
    blocks.params = CreateCallParams(nullptr, dial);
    if (blocks.params == nullptr)
        return FALSE;

    StopSet stops = StopSet::ForDevCapFlags(caps->dwDevCapFlags);
    const std::string number = dial != nullptr ? dial : "";
    bool first = true;
    size_t position = 0;
    // An empty number still places the call (it gets a dial tone) rather
    // than leaving an attempt open with nothing made.
    while (first || position < number.size()) {
        DialPart part = NextDialPart(number, position, stops);
        if (part.pause != 0 &&
            (blocks.addressCaps->dwAddrCapFlags & LINEADDRCAPFLAGS_PARTIALDIAL) == 0) {
            AppMessageBox(LoadText(IDS_NO_PARTIAL_DIAL), MB_OK);
            return FALSE;
        }
        if (AttemptGone(id, "the next dial part"))
            return FALSE;
        LONG result = SendPart(tapi, id, first, part.text, blocks.params);
        if (IsPauseDialError(static_cast<uint32_t>(result))) {
            DebugPrint("Service Provider incorrectly sets dwDevCapFlags\n");
            if (!stops.Grow(static_cast<uint32_t>(result))) {
                // The same split would go out again, and get the same answer.
                DebugPrint("%s repeated with no pause character left to add; dialing ends.\n",
                           LineErrorString(static_cast<uint32_t>(result)).c_str());
                return FALSE;
            }
            continue; // the same part again from its start, split anew
        }
        if (result == kWaitAborted) {
            DebugPrint("While Dialing, WaitForReply aborted.\n");
            return FALSE;
        }
        if (result == kWaitTimedOut)
            return FALSE;
        if (result != 0) {
            ReportLineError(result,
                            first ? "lineMakeCall unhandled error: " : "lineDial unhandled error: ",
                            kTapiSource, __LINE__);
            return FALSE;
        }
        first = false;
        position = part.next;
        if (part.pause != 0 && !PauseDialling(tapi, id, blocks, part.pause))
            return FALSE;
    }
    return TRUE;
}
