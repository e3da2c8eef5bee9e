// The call is connected: the modem's comm handle goes to the data channel,
// and the dialog is told to send its login frame.
#include "shell/LinkEvents.h"
#include "shell/AppShell.h"
#include "shell/LinkMessages.h"
#include "modem/CommCode.h"
#include "telephony/CallStateText.h"
#include "shell/DebugTrace.h"
#include "telephony/LineBlocks.h"
#include "telephony/TapiCode.h"

namespace {

// The handle in the identifier block; the provider's offsets and sizes are
// believed only as far as they lie inside what it filled.
bool TakeCommHandle(LPVARSTRING id, HANDLE* handle) {
    uint64_t value = 0;
    if (!ReadCommHandle(reinterpret_cast<const uint8_t*>(id), LocalSize(id), sizeof(HANDLE), &value,
                        nullptr)) {
        DebugPrint("lineGetID: the comm/datamodem handle lies outside the returned block; not "
                   "taken.\n");
        return false;
    }
    *handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
    return true;
}

} // namespace

void StartConnectSequence() {
    TapiState& tapi = Tapi();
    const unsigned id = tapi.attempt.id;
    // A CONNECTED that is served while the call is being stopped, or after it
    // ended, must not start a channel nothing would stop.
    if (tapi.hCall == 0 || AttemptGone(id, "the connect sequence"))
        return;
    if (tapi.attempt.connected)
        return; // a repeated CONNECTED: the channel already runs
    tapi.attempt.connected = 1;

    HANDLE handle = nullptr;
    LPVARSTRING commId = QueryCallCommId(nullptr, tapi.hCall);
    bool started = false;
    if (commId != nullptr) {
        DebugPrint("Connected!  Starting communications!\n");
        if (TakeCommHandle(commId, &handle)) {
            // Reading the identifier may have shown a box: the attempt must
            // still be on before its channel starts.
            if (AttemptGone(id, "the data channel's start")) {
                if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
                    CloseHandle(handle);
                LocalFree(commId);
                return;
            }
            started = StartCommChannel(handle, id) != 0;
        }
    }
    if (started) {
        AppendTapiStatus("Verifying username and password...");
        LocalFree(commId);
        if (HWND dialog = MainWindowHandle())
            PostMessageA(dialog, WM_REMOTE_CONNECTED, id, 0);
        return;
    }
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    if (commId != nullptr)
        LocalFree(commId);
    // The refusal's box served messages: only this attempt is ended here.
    if (AttemptGone(id, "the failed connect's hang-up"))
        return;
    const std::string failed = FailedToConnectText(tapi.attempt.dialNumber);
    ReportCallEnd(id, CallEnd::ConnectFailed);
    StopCall();
    AppendTapiStatus(failed.c_str());
}
