// Telephony line control: state and the operations the dialog and the line
// callback use.
#pragma once
#include <windows.h>
#include <tapi.h>
#include <string>
#include <vector>

// Source-module name that the telephony reports carry.
constexpr const char* kTapiSource = "TapiCode";

// What belongs to one call attempt. Reset as a whole when an attempt starts
// (BeginCallAttempt), so nothing of an earlier call carries over.
struct CallAttempt {
    unsigned id = 0;           // which attempt: the dialog's number for it; 0 before the first
    DWORD deviceId = 0;        // the line it dials on, as chosen when Dial was pressed
    std::string dialNumber;    // the number it dials, as it stood when Dial was pressed
    int dialling = 0;          // DialCall still runs for it (and reports a failure itself)
    int stopping = 0;          // StopCall is taking it down
    int cut = 0;               // the run has a time limit: every wait ends by cutTick
    DWORD cutTick = 0;
    int connected = 0;         // the connect sequence of this attempt's call has started
    DWORD callState = 0;       // last LINECALLSTATE_ value reported for hCall
    int callStateChanged = 0;  // a LINE_CALLSTATE for hCall came
    int replyReceived = 0;     // the awaited LINE_REPLY has come
    LONG awaitedRequestId = 0; // request id being waited for
    LONG replyResult = 0;      // result of the awaited reply
};

// One per process, owned by the modem link (see SetTapiState). Every field is zero until
// telephony is used.
struct TapiState {
    HLINEAPP hLineApp = 0;  // usage handle from lineInitialize; 0 = not initialised
    DWORD numDevs = 0;      // line devices; raised by LINE_CREATE
    int shuttingDown = 0;   // re-entry guard of UninitializeTapi
    int stopping = 0;       // re-entry guard of StopCall: a stop runs (the line is busy)
    int initializing = 0;   // re-entry guard of InitializeTapi
    int callInProgress = 0; // a modem call attempt is under way
    HCALL hCall = 0;        // the call; 0 = none
    HLINE hLine = 0;        // the opened line; 0 = none
    DWORD deviceId = 0;     // the line chosen in the dialog's line list
    DWORD apiVersion = 0;   // version negotiated for deviceId when dialling
    int dialogEnding = 0;   // the dialog is closing: nothing may start or go on
    CallAttempt attempt; // the current attempt, or the last one once it ended
};

// The header's error codes are unsigned; results are signed.
inline bool IsLineError(LONG result, DWORD code) {
    return static_cast<DWORD>(result) == code;
}

BOOL HandleLineError(LONG result);

// The state the modem link installed (a stand-in record when there is none).
TapiState& Tapi();
void SetTapiState(TapiState* state);

// Call attempts. Boxes and waits serve messages, so line events, timers and the
// operator's commands can end an attempt (and start another) under the code
// that carries it on: that code asks AttemptIsCurrent after each of them.
//
// What Dial asks of the modem call code for one attempt.
struct CallRequest {
    unsigned id = 0;        // the dialog's number for the attempt
    DWORD deviceId = 0;     // the line, as chosen when Dial was pressed
    std::string dialNumber; // the number, as it stood when Dial was pressed
    // An unattended run's time limit bounds the whole run: once cutTick has passed, every
    // wait of the attempt, its stop's included, ends at once.
    bool cut = false;
    DWORD cutTick = 0;
};

// Starts the attempt: fresh per-attempt state, no call, callInProgress set.
void BeginCallAttempt(TapiState& tapi, const CallRequest& request);
// True while attempt id is the one under way and nobody is stopping it or
// closing the dialog.
bool AttemptIsCurrent(unsigned id);
// The opposite, traced with what was about to go on: true means drop it.
bool AttemptGone(unsigned id, const char* what);
// Ends the attempt that StopCall or UninitializeTapi has taken down: clears
// its handles and reports its end to the dialog (at most once per attempt;
// not while the dialog closes).
void FinishCallAttempt(TapiState& tapi);

// Makes a telephony call, and makes it again while HandleLineError deals with
// its error. passThrough, when not 0, is an error the caller treats itself.
// An attempt that was under way and ended inside HandleLineError's box is
// not repeated for.
template <typename Call> LONG RepeatWhileHandled(Call call, DWORD passThrough = 0) {
    const unsigned id = Tapi().attempt.id;
    const bool forAttempt = AttemptIsCurrent(id);
    for (;;) {
        LONG result = call();
        if (result == 0 || (passThrough != 0 && IsLineError(result, passThrough)) ||
            !HandleLineError(result) ||
            (forAttempt && AttemptGone(id, "a telephony call repeated after its error")))
            return result;
    }
}

// Initialisation and shutdown.
BOOL InitializeTapi();
BOOL UninitializeTapi();
DWORD NegotiateApiVersion(DWORD deviceId);
DWORD NegotiateListApiVersion(DWORD deviceId);

// Variable-size structures in LocalAlloc'd zero-filled blocks; the receiver
// frees them with LocalFree.
void* AllocTapiStruct(void* block, DWORD size, const char* label);
LPLINEDEVCAPS QueryLineDevCaps(LPLINEDEVCAPS caps, DWORD deviceId, DWORD apiVersion);
LPLINEADDRESSCAPS QueryLineAddressCaps(LPLINEADDRESSCAPS caps, DWORD deviceId, DWORD addressId,
                                       DWORD apiVersion, DWORD extVersion);
LPLINEADDRESSSTATUS QueryLineAddressStatus(LPLINEADDRESSSTATUS status, HLINE line, DWORD addressId);
LPLINECALLSTATUS QueryLineCallStatus(LPLINECALLSTATUS status, HCALL call);

// The line list: names of data-modem lines and their device ids, in the same
// order; at most capacity entries.
void BuildLineList(std::vector<std::string>& names, DWORD* ids, int capacity);

// First failing check for a line, 0 when it can place a data-modem call.
enum LineUsability {
    kLineUsable = 0,
    kLineFailed = 1,
    kLineNoVoice = 2,
    kLineNoDataModem = 3,
    kLineNoMakeCall = 4,
    kLineAllocated = 5,
    kLineAddressCannotCall = 6,
    kLineNoCommId = 7,
};
int VerifyUsableLine(DWORD deviceId);

// Calls. DialCall places the attempt a request describes.
int DialCall(const CallRequest& request);
int StopCall();
BOOL DialCallInParts(LPLINEDEVCAPS caps, const char* dial);
// The parameter block of the data call, in block when it is big enough;
// null when no block could be had.
LPLINECALLPARAMS CreateCallParams(LPLINECALLPARAMS block, const char* dial);
// The "comm/datamodem" identifier of a call, grown as the provider asks.
LPVARSTRING QueryCallCommId(LPVARSTRING id, HCALL call);
// Fetches the connected call's modem handle, hands it to the data channel
// and has the dialog send its login frame; runs once per call.
void StartConnectSequence();
// A Status box line (see shell/LinkEvents.h).
void AppendTapiStatus(const char* text);

// Waits that serve the thread's messages, so line events and the operator's
// commands run inside them.
enum WaitResult { kWaitDone = 0, kWaitAborted = 1, kWaitTimedOut = 2 };
// The result of the request that value names (0 or a LINEERR_ code), a
// value that is no request id unchanged, or kWaitAborted / kWaitTimedOut.
LONG WaitForReply(LONG value);
// Waits for hCall to reach state, or for any change when state is 0.
int WaitForCallState(DWORD state);

// Errors: what a telephony result means for the operation that met it.
BOOL HandleLineError(LONG result);
BOOL OfferModemSetup();
BOOL LaunchModemControlPanelAdd();
void ReportLineError(LONG error, const char* prefix, const char* file, int line);
char* LineErrorText(LONG error, char* buffer, DWORD size);

// The callback trace. FormatLineCallback writes into a buffer of
// kLineCallbackTextSize bytes, or into a new LocalAlloc'd one when buffer is
// null (null if that fails).
constexpr size_t kLineCallbackTextSize = 4096;
void TraceLineCallback(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR param1,
                       DWORD_PTR param2, DWORD_PTR param3);
char* FormatLineCallback(char* buffer, DWORD device, DWORD message, DWORD_PTR instance,
                         DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR param3);

// The line callback given to lineInitialize, and its handlers.
void CALLBACK lineCallbackFunc(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR param1,
                               DWORD_PTR param2, DWORD_PTR param3);
