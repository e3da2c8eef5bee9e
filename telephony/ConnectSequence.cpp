// The call is connected: the modem's comm handle goes to the data channel,
// and the dialog is told to send its login frame.
#include "console/CallOutcome.h"
#include "console/FarlinkDlg.h"
#include "console/RemoteMessages.h"
#include "modem/CommCode.h"
#include "telephony/CallStateText.h"
#include "telephony/DebugTrace.h"
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
    if (tapi.connected)
        return; // a repeated CONNECTED: the channel already runs
    tapi.connected = 1;

    HANDLE handle = nullptr;
    LPVARSTRING id = QueryCallCommId(nullptr, tapi.hCall);
    bool started = false;
    if (id != nullptr) {
        DebugPrint("Connected!  Starting communications!\n");
        if (TakeCommHandle(id, &handle))
            started = StartCommChannel(handle) != 0;
    }
    CFarlinkDlg* dialog = TheMainDialog();
    if (started) {
        AppendTapiStatus("Verifying username and password...");
        LocalFree(id);
        if (dialog != nullptr)
            PostMessageA(dialog->m_hWnd, WM_REMOTE_CONNECTED, 0, 0);
        return;
    }
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    ReportCallEnd(CallEnd::ConnectFailed);
    StopCall();
    AppendTapiStatus(
        FailedToConnectText(dialog != nullptr ? dialog->m_strDialNumber : std::string()).c_str());
    if (id != nullptr)
        LocalFree(id);
}
