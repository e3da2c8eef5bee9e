// Telephony start and stop for the application, and version negotiation.
#include "telephony/TapiCode.h"
#include "app/AppShell.h"
#include "console/FarlinkDlg.h"
#include "resources/resource.h"
#include "telephony/DebugTrace.h"
#include "telephony/MessageWait.h"
#include "telephony/TapiValues.h"

namespace {

// How long every other telephony application gets to let go of the service
// after lineInitialize asked for re-initialisation.
const DWORD kReinitWaitMs = 5000;

} // namespace

TapiState& Tapi() {
    // Before the dialog exists and after it ends, callers get a record of their
    // own that says telephony is not initialised.
    static TapiState detached;
    CFarlinkDlg* dialog = TheMainDialog();
    return dialog != nullptr ? dialog->m_tapi : detached;
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
    for (;;) {
        LONG result = lineShutdown(tapi.hLineApp);
        if (result == 0)
            break;
        if (!HandleLineError(result)) {
            ReportLineError(result, "lineShutdown unhandled error: ", kTapiSource, __LINE__);
            break;
        }
    }
    tapi.callInProgress = 0;
    tapi.connected = 0;
    tapi.hLineApp = 0;
    tapi.hCall = 0;
    tapi.hLine = 0;
    tapi.shuttingDown = 0;
    DebugPrint("TAPI uninitialized.");
    return TRUE;
}

DWORD NegotiateApiVersion(DWORD deviceId) {
    for (;;) {
        DWORD version = 0;
        LINEEXTENSIONID extension;
        LONG result = lineNegotiateAPIVersion(Tapi().hLineApp, deviceId, TapiValue::kApiVersion20,
                                              TapiValue::kApiVersion20, &version, &extension);
        if (IsLineError(result, LINEERR_INCOMPATIBLEAPIVERSION)) {
            result = lineNegotiateAPIVersion(Tapi().hLineApp, deviceId, TapiValue::kApiVersion14,
                                             TapiValue::kApiVersion14, &version, &extension);
            if (IsLineError(result, LINEERR_INCOMPATIBLEAPIVERSION)) {
                DebugPrint("lineNegotiateAPIVersion, INCOMPATIBLEAPIVERSION.\n");
                return 0;
            }
        }
        if (result == 0)
            return version;
        if (!HandleLineError(result)) {
            ReportLineError(result, "lineNegotiateAPIVersion unhandled error: ", kTapiSource,
                            __LINE__);
            return 0;
        }
    }
}

DWORD NegotiateListApiVersion(DWORD deviceId) {
    for (;;) {
        DWORD version = 0;
        LINEEXTENSIONID extension;
        LONG result = lineNegotiateAPIVersion(Tapi().hLineApp, deviceId, TapiValue::kApiVersion13,
                                              TapiValue::kApiVersion20, &version, &extension);
        if (result == 0)
            return version;
        if (IsLineError(result, LINEERR_INCOMPATIBLEAPIVERSION)) {
            DebugPrint("INCOMPATIBLEAPIVERSION in Dial Dialog.\n");
            return 0;
        }
        if (!HandleLineError(result)) {
            ReportLineError(result,
                            "lineNegotiateAPIVersion in Dial Dialog unhandled error: ", kTapiSource,
                            __LINE__);
            return 0;
        }
    }
}

// Placing and dropping calls comes later: a Dial on a modem line does nothing.
int DialCall() {
    return Tapi().callInProgress;
}

int StopCall() {
    TapiState& tapi = Tapi();
    tapi.callInProgress = 0;
    tapi.connected = 0;
    return 1;
}
