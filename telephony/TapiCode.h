// Telephony line control: state and the operations the dialog and the line
// callback use.
#pragma once
#include <windows.h>
#include <tapi.h>
#include <string>
#include <vector>

// Source-module name that the telephony reports carry.
constexpr const char* kTapiSource = "TapiCode";

// One per process, inside the main dialog. Every field is 32 bits and zero
// until telephony is used.
struct TapiState {
    HLINEAPP hLineApp = 0;     // usage handle from lineInitialize; 0 = not initialised
    DWORD numDevs = 0;         // line devices; raised by LINE_CREATE
    int shuttingDown = 0;      // re-entry guard of UninitializeTapi
    int stopping = 0;          // re-entry guard of StopCall
    int initializing = 0;      // re-entry guard of InitializeTapi
    int callInProgress = 0;    // a modem call attempt is under way
    HCALL hCall = 0;           // the call; 0 = none
    HLINE hLine = 0;           // the opened line; 0 = none
    DWORD deviceId = 0;        // the line chosen in the dialog's line list
    DWORD apiVersion = 0;      // version negotiated for deviceId when dialling
    DWORD callState = 0;       // last LINECALLSTATE_ value reported for hCall
    int connected = 0;         // the connect sequence of the current call has started
    int replyReceived = 0;     // the awaited LINE_REPLY has come
    LONG awaitedRequestId = 0; // request id being waited for
    LONG replyResult = 0;      // result of the awaited reply
    int callStateChanged = 0;  // a LINE_CALLSTATE for hCall came
};

// The header's error codes are unsigned; results are signed.
inline bool IsLineError(LONG result, DWORD code) {
    return static_cast<DWORD>(result) == code;
}

BOOL HandleLineError(LONG result);

// Makes a telephony call, and makes it again while HandleLineError deals with
// its error. passThrough, when not 0, is an error the caller treats itself.
template <typename Call> LONG RepeatWhileHandled(Call call, DWORD passThrough = 0) {
    for (;;) {
        LONG result = call();
        if (result == 0 || (passThrough != 0 && IsLineError(result, passThrough)) ||
            !HandleLineError(result))
            return result;
    }
}

// The state of the running dialog (a stand-in record when there is none).
TapiState& Tapi();

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

// Calls.
int DialCall();
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
// A Status box line of the main dialog, when there is one.
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
