// Telephony start and stop for the application, and version negotiation.
#include "telephony/TapiCode.h"
#include "shell/AppShell.h"
#include "resources/resource.h"
#include "shell/DebugTrace.h"
#include "shell/LinkEvents.h"
#include "telephony/MessageWait.h"
#include "telephony/TapiValues.h"

namespace {

// How long every other telephony application gets to let go of the service
// after lineInitialize asked for re-initialisation.
const DWORD kReinitWaitMs = 5000;

TapiState* g_state = nullptr;

} // namespace

void SetTapiState(TapiState* state) {
    g_state = state;
}

TapiState& Tapi() {
    // Before the modem link exists and after it ends, callers get a record of their own that
    // says telephony is not initialised.
    static TapiState detached;
    return g_state != nullptr ? *g_state : detached;
}

BOOL InitializeTapi() {
    TapiState& tapi = Tapi();
    if (tapi.hLineApp != 0)
        return TRUE;
    if (tapi.initializing)
        return FALSE;
    tapi.initializing = 1;
    bool reinitSeen = false;
    for (;;) {
        LONG result = lineInitialize(&tapi.hLineApp, GetModuleHandleA(nullptr), lineCallbackFunc,
                                     "Farlink", &tapi.numDevs);
        if (result == 0)
            break;
        if (IsLineError(result, LINEERR_REINIT)) {
            if (!reinitSeen) {
                reinitSeen = true;
                ServeMessagesUntil(GetTickCount(), kReinitWaitMs);
                // The wait served messages: a dialog closed meanwhile gets no
                // telephony it would never shut down.
                if (tapi.dialogEnding) {
                    DebugPrint("The dialog closed during the re-initialisation wait; telephony "
                               "is not started.\n");
                    tapi.initializing = 0;
                    return FALSE;
                }
                continue;
            }
            AppMessageBox("A change to the system configuration requires that all Telephony "
                          "applications relinquish their use of Telephony before any can "
                          "progress.  Some have not yet done so.",
                          MB_OK);
            tapi.initializing = 0;
            return FALSE;
        }
        if (IsLineError(result, LINEERR_NODEVICE)) {
            if (OfferModemSetup())
                continue;
            AppMessageBox(LoadTextOrOwn(IDS_NO_DEVICES), MB_OK);
            tapi.initializing = 0;
            return FALSE;
        }
        if (!HandleLineError(result)) {
            ReportLineError(result, "lineInitialize unhandled error: ", kTapiSource, __LINE__);
            tapi.initializing = 0;
            return FALSE;
        }
    }
    tapi.initializing = 0;
    if (tapi.hLineApp == 0) {
        // A service that reports success without a usage handle cannot be
        // used: the program goes on without lines.
        tapi.numDevs = 0;
        DebugPrint("lineInitialize returned no usage handle; no lines.\n");
        return FALSE;
    }
    tapi.hCall = 0;
    tapi.hLine = 0;
    DebugPrint("Tapi initialized.");
    return TRUE;
}

BOOL UninitializeTapi() {
    TapiState& tapi = Tapi();
    if (tapi.hLineApp == 0 || tapi.shuttingDown)
        return TRUE;
    tapi.shuttingDown = 1;
    StopCall();
    // A StopCall already under way (this shutdown came inside one of its
    // waits) has not let go of its call and line yet: they go before the
    // usage handle does.
    if (tapi.hCall != 0 && lineDeallocateCall(tapi.hCall) == 0)
        DebugPrint("Call Deallocated.");
    if (tapi.hLine != 0 && lineClose(tapi.hLine) == 0)
        DebugPrint("Line Closed.");
    tapi.hCall = 0;
    tapi.hLine = 0;
    LONG result = RepeatWhileHandled([&] { return lineShutdown(tapi.hLineApp); });
    if (result != 0)
        ReportLineError(result, "lineShutdown unhandled error: ", kTapiSource, __LINE__);
    // An attempt StopCall could not end (it is already stopping, or lost its
    // call's status) ends here, with every handle gone with the shutdown.
    FinishCallAttempt(tapi);
    tapi.hLineApp = 0;
    tapi.shuttingDown = 0;
    DebugPrint("TAPI uninitialized.");
    LinkChanged(); // the line is free again
    return TRUE;
}

namespace {

LONG Negotiate(DWORD deviceId, DWORD low, DWORD high, DWORD* version) {
    LINEEXTENSIONID extension; // not used: the program needs no provider extensions
    return lineNegotiateAPIVersion(Tapi().hLineApp, deviceId, low, high, version, &extension);
}

} // namespace

DWORD NegotiateApiVersion(DWORD deviceId) {
    using namespace TapiValue;
    DWORD version = 0;
    LONG result = RepeatWhileHandled(
        [&] {
            LONG first = Negotiate(deviceId, kApiVersion20, kApiVersion20, &version);
            if (!IsLineError(first, LINEERR_INCOMPATIBLEAPIVERSION))
                return first;
            return Negotiate(deviceId, kApiVersion14, kApiVersion14, &version);
        },
        LINEERR_INCOMPATIBLEAPIVERSION);
    if (result == 0)
        return version;
    if (IsLineError(result, LINEERR_INCOMPATIBLEAPIVERSION))
        DebugPrint("lineNegotiateAPIVersion, INCOMPATIBLEAPIVERSION.\n");
    else
        ReportLineError(result, "lineNegotiateAPIVersion unhandled error: ", kTapiSource, __LINE__);
    return 0;
}

DWORD NegotiateListApiVersion(DWORD deviceId) {
    using namespace TapiValue;
    DWORD version = 0;
    LONG result = RepeatWhileHandled(
        [&] { return Negotiate(deviceId, kApiVersion13, kApiVersion20, &version); },
        LINEERR_INCOMPATIBLEAPIVERSION);
    if (result == 0)
        return version;
    if (IsLineError(result, LINEERR_INCOMPATIBLEAPIVERSION))
        DebugPrint("INCOMPATIBLEAPIVERSION in Dial Dialog.\n");
    else
        ReportLineError(result,
                        "lineNegotiateAPIVersion in Dial Dialog unhandled error: ", kTapiSource,
                        __LINE__);
    return 0;
}
