// What a telephony error means for the operation that met it, the offer to
// install a modem, and the error reports of the trace.
#include "shell/AppBoxes.h"
#include "shell/AppShell.h"
#include "shell/ProgramStart.h"
#include "shell/DebugTrace.h"
#include "shell/ErrorReport.h"
#include "telephony/LineErrorBoxes.h"
#include "telephony/TapiCode.h"
#include "telephony/TapiTrace.h"
#include <cstdio>
#include <cstring>

int WarningBox(const char* text, UINT buttons) {
    return AppBox(MainWindowHandle(), text, "Warning", buttons);
}

void ShowOutOfMemoryBox() {
    AppMessageBox("Out of Memory error, canceling action.", MB_OK);
}

BOOL HandleLineError(LONG result) {
    if (result == 0)
        return TRUE;
    if (result > 0)
        return FALSE; // a request id: nothing went wrong, nothing to repeat
    switch (static_cast<DWORD>(result)) {
    case LINEERR_INIFILECORRUPT:
    case LINEERR_INVALCARD:
    case LINEERR_INVALLOCATION:
        if (WarningBox("Configuration information relating to Telephony services appears to be "
                       "corrupt.\nThis could be the first time you have used the Telephony "
                       "services.\nWould you like to configure the Telephony services?",
                       MB_OKCANCEL) != IDOK)
            return FALSE;
        // Whatever the operator does in it, the failed call is tried again.
        lineTranslateDialog(Tapi().hLineApp, 0, 0x10004, MainWindowHandle(), nullptr);
        return TRUE;
    case LINEERR_NODRIVER:
        WarningBox("One of the components of the Telephony device driver is missing.\nUse the "
                   "Control Panel to set up the driver properly.",
                   MB_OK);
        return FALSE;
    case LINEERR_NOMEM:
        ShowOutOfMemoryBox();
        return FALSE;
    case LINEERR_OPERATIONFAILED:
        AppMessageBox("TAPI Operation Failed for unknown reasons.", MB_OK);
        return FALSE;
    case LINEERR_RESOURCEUNAVAIL:
        return WarningBox("A Telephony resource is temporarily unavaiable.  This could mean a "
                          "short wait is necessary or that a non-TAPI application is using the "
                          "line.",
                          MB_RETRYCANCEL) == IDRETRY;
    case LINEERR_REINIT:
        UninitializeTapi();
        return FALSE;
    case LINEERR_NOMULTIPLEINSTANCE:
        AppMessageBox("You have two copies of the same Telephony driver installed.\nUse the "
                      "Control Panel to remove one of the copies.",
                      MB_OK);
        return FALSE;
    default:
        return FALSE;
    }
}

BOOL OfferModemSetup() {
    if (WarningBox("There are no devices configured for Telephony use.\nWould you like to run "
                   "the Modem Control Panel to add a modem driver?",
                   MB_YESNO) == IDYES)
        LaunchModemControlPanelAdd();
    return FALSE;
}

BOOL LaunchModemControlPanelAdd() {
    // The control panel runs on its own; the program does not wait for it.
    if (StartDetachedProgram("CONTROL.EXE MODEM.CPL,,ADD", SW_SHOWNORMAL))
        return FALSE;
    ReportLastError(GetLastError(), "Unable to LaunchModemControlPanelAdd: ", kTapiSource,
                    __LINE__);
    WarningBox("Unable to launch the Modem Control Panel", MB_OK);
    return FALSE;
}

char* LineErrorText(LONG error, char* buffer, DWORD size) {
    DWORD code = static_cast<DWORD>(error);
    if (buffer != nullptr)
        return LineErrorTextInto(code, buffer, size);
    std::string text = LineErrorString(code);
    buffer = static_cast<char*>(LocalAlloc(LPTR, text.size() + 1));
    if (buffer == nullptr)
        return nullptr;
    memcpy(buffer, text.c_str(), text.size() + 1);
    return buffer;
}

void ReportLineError(LONG error, const char* prefix, const char* file, int line) {
    if (prefix == nullptr)
        prefix = "";
    char report[4096];
    char* name = LineErrorText(error, nullptr, 0);
    if (name == nullptr) {
        if (file != nullptr)
            snprintf(report, sizeof report, "%sOut of memory in file %s, line %d\r\n", prefix, file,
                     line);
        else
            snprintf(report, sizeof report, "%sOut of memory", prefix);
    } else {
        if (file != nullptr)
            snprintf(report, sizeof report, "%sTapi Line Error: \"%s\" in File \"%s\", Line %d\r\n",
                     prefix, name, file, line);
        else
            snprintf(report, sizeof report, "%sTapi Line Error: \"%s\"\r\n", prefix, name);
        LocalFree(name);
    }
    OutputDebugStringA(report);
}
