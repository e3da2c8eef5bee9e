// Dial on a modem line: open the chosen line, check that it can place a
// data-modem call, and dial the number.
#include "shell/AppShell.h"
#include "resources/resource.h"
#include "shell/DebugTrace.h"
#include "shell/LinkEvents.h"
#include "telephony/TapiCode.h"

namespace {

// Every LINEDEVSTATE_ change from OTHER to CONFIGCHANGE, and COMPLCANCEL;
// not TRANSLATECHANGE.
const DWORD kLineStatesWanted = 0xBFFFFF;
// Every LINEADDRESSSTATE_ change from OTHER to CAPSCHANGE.
const DWORD kAddressStatesWanted = 0x1FF;

// The blocks DialCall reads, freed however it ends.
struct DialBlocks {
    LPLINEDEVCAPS caps = nullptr;
    LPLINEADDRESSSTATUS status = nullptr;
    ~DialBlocks() {
        if (caps != nullptr)
            LocalFree(caps);
        if (status != nullptr)
            LocalFree(status);
    }
};

void TextBox(UINT id) {
    AppMessageBox(LoadText(id), MB_OK);
}

// The checks and the dialling; returns with the attempt stopped when one
// fails. Every step that can show a box or wait serves messages, so each is
// followed by a look at whether attempt id is still the one under way: one
// that was stopped (or replaced) meanwhile is neither dialled nor stopped
// again here.
void OpenAndDial(TapiState& tapi, unsigned id) {
    const DWORD deviceId = tapi.attempt.deviceId;
    DialBlocks blocks;
    tapi.apiVersion = NegotiateApiVersion(deviceId);
    if (AttemptGone(id, "dialling after the version check"))
        return;
    if (tapi.apiVersion == 0) {
        AppMessageBox("Line Version unsupported by this program", MB_OK);
        if (!AttemptGone(id, "the stop after the version box"))
            StopCall();
        return;
    }
    blocks.caps = QueryLineDevCaps(nullptr, deviceId, tapi.apiVersion);
    if (AttemptGone(id, "dialling after the line capabilities"))
        return;
    if (blocks.caps == nullptr) {
        StopCall();
        TextBox(IDS_LINE_ERROR);
        return;
    }
    UINT missing = 0;
    if ((blocks.caps->dwBearerModes & LINEBEARERMODE_VOICE) == 0)
        missing = IDS_LINE_NO_VOICE;
    else if ((blocks.caps->dwMediaModes & LINEMEDIAMODE_DATAMODEM) == 0)
        missing = IDS_LINE_NO_DATAMODEM;
    else if ((blocks.caps->dwLineFeatures & LINEFEATURE_MAKECALL) == 0)
        missing = IDS_LINE_NO_MAKECALL;
    if (missing != 0) {
        StopCall();
        TextBox(missing);
        return;
    }

    LONG opened = RepeatWhileHandled(
        [&] {
            return lineOpen(tapi.hLineApp, deviceId, &tapi.hLine, tapi.apiVersion, 0, 0,
                            LINECALLPRIVILEGE_NONE, LINEMEDIAMODE_DATAMODEM, nullptr);
        },
        LINEERR_ALLOCATED);
    if (opened != 0)
        tapi.hLine = 0; // nothing was opened, whatever the provider left there
    if (AttemptGone(id, "the line's opening"))
        return;
    if (opened != 0) {
        if (IsLineError(opened, LINEERR_ALLOCATED)) {
            StopCall();
            TextBox(IDS_LINE_IN_USE_NON_TAPI);
            return;
        }
        ReportLineError(opened, "lineOpen unhandled error: ", kTapiSource, __LINE__);
        TextBox(IDS_LINE_UNUSABLE);
        if (!AttemptGone(id, "the stop after the line error box"))
            StopCall();
        return;
    }

    LONG watched = RepeatWhileHandled(
        [&] { return lineSetStatusMessages(tapi.hLine, kLineStatesWanted, kAddressStatesWanted); });
    if (watched != 0)
        ReportLineError(watched, "lineSetStatusMessages unhandled error: ", kTapiSource, __LINE__);
    if (AttemptGone(id, "dialling after the line's status messages"))
        return;

    blocks.status = QueryLineAddressStatus(nullptr, tapi.hLine, 0);
    if (AttemptGone(id, "dialling after the address status"))
        return;
    if (blocks.status == nullptr) {
        StopCall();
        TextBox(IDS_LINE_UNUSABLE);
        return;
    }
    if ((blocks.status->dwAddressFeatures & LINEADDRFEATURE_MAKECALL) == 0) {
        DebugPrint("This line is not available to place a call.\n");
        StopCall();
        TextBox(IDS_LINE_IN_USE);
        return;
    }

    if (DialCallInParts(blocks.caps, tapi.attempt.dialNumber.c_str())) {
        DebugPrint("DialCallInParts succeeded.\n");
    } else {
        DebugPrint("DialCallInParts failed.\n");
        if (!AttemptGone(id, "the stop after dialling failed"))
            StopCall();
    }
}

} // namespace

int DialCall(const CallRequest& request) {
    const unsigned id = request.id;
    TapiState& tapi = Tapi();
    if (tapi.callInProgress) {
        DebugPrint("A call is already being handled");
        return 0;
    }
    if (tapi.hLineApp == 0 && !InitializeTapi())
        return 0;
    if (tapi.numDevs < 1) {
        OfferModemSetup();
        return 0;
    }
    // Initialising may have waited and served messages: the dialog may be
    // closing, or a Dial served inside that wait may have started a call.
    if (tapi.dialogEnding)
        return 0;
    if (tapi.callInProgress) {
        DebugPrint("A call is already being handled");
        return 0;
    }
    BeginCallAttempt(tapi, request);
    // Dialling serves messages while it waits: Hangup must already work.
    LinkChanged();
    tapi.attempt.dialling = 1;
    OpenAndDial(tapi, id);
    if (tapi.attempt.id == id) // not another attempt begun inside one of its boxes
        tapi.attempt.dialling = 0;
    return AttemptIsCurrent(id) ? 1 : 0;
}

void AppendTapiStatus(const char* text) {
    LinkStatus(text);
}
