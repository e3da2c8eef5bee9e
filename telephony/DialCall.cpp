// Dial on a modem line: open the chosen line, check that it can place a
// data-modem call, and dial the number.
#include "app/AppShell.h"
#include "console/FarlinkDlg.h"
#include "resources/resource.h"
#include "telephony/DebugTrace.h"
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
// fails.
void OpenAndDial(TapiState& tapi, const std::string& dialNumber) {
    DialBlocks blocks;
    tapi.apiVersion = NegotiateApiVersion(tapi.deviceId);
    if (tapi.apiVersion == 0) {
        AppMessageBox("Line Version unsupported by this program", MB_OK);
        StopCall();
        return;
    }
    blocks.caps = QueryLineDevCaps(nullptr, tapi.deviceId, tapi.apiVersion);
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
            return lineOpen(tapi.hLineApp, tapi.deviceId, &tapi.hLine, tapi.apiVersion, 0, 0,
                            LINECALLPRIVILEGE_NONE, LINEMEDIAMODE_DATAMODEM, nullptr);
        },
        LINEERR_ALLOCATED);
    if (opened != 0) {
        tapi.hLine = 0; // nothing was opened, whatever the provider left there
        if (IsLineError(opened, LINEERR_ALLOCATED)) {
            StopCall();
            TextBox(IDS_LINE_IN_USE_NON_TAPI);
            return;
        }
        ReportLineError(opened, "lineOpen unhandled error: ", kTapiSource, __LINE__);
        TextBox(IDS_LINE_UNUSABLE);
        StopCall();
        return;
    }

    LONG watched = RepeatWhileHandled(
        [&] { return lineSetStatusMessages(tapi.hLine, kLineStatesWanted, kAddressStatesWanted); });
    if (watched != 0)
        ReportLineError(watched, "lineSetStatusMessages unhandled error: ", kTapiSource, __LINE__);

    blocks.status = QueryLineAddressStatus(nullptr, tapi.hLine, 0);
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

    if (DialCallInParts(blocks.caps, dialNumber.c_str())) {
        DebugPrint("DialCallInParts succeeded.\n");
    } else {
        DebugPrint("DialCallInParts failed.\n");
        StopCall();
    }
}

} // namespace

int DialCall() {
    TapiState& tapi = Tapi();
    CFarlinkDlg* dialog = TheMainDialog();
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
    tapi.callInProgress = 1;
    if (dialog != nullptr) {
        dialog->m_nReplyState = 0;
        // Dialling serves messages while it waits: Hangup must already work.
        dialog->UpdateControls();
    }
    // A copy: the dialog's field may change while the waits serve messages.
    OpenAndDial(tapi, dialog != nullptr ? dialog->m_strDialNumber : std::string());
    return tapi.callInProgress;
}

void AppendTapiStatus(const char* text) {
    if (CFarlinkDlg* dialog = TheMainDialog())
        dialog->AppendStatus(text);
}
