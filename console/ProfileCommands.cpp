// Load... and Save...: connection profiles chosen in the common file dialogs, and /PROFILE:.
#include "console/FarlinkDlg.h"

#include "shell/AppShell.h"
#include "console/FileErrorCause.h"
#include "console/ProfileCodec.h"
#include "console/ProfileFile.h"
#include "resources/ProfileTextIds.h"
#include "resources/resource.h"

#include <commdlg.h>

namespace {

// The list selections (and the modem line they choose) take effect as they are read; the
// texts, the communication type and the Delay are held until the whole file has been read.
// A file that ends early thus never leaves the record, and with it what Dial, Hangup and
// Close act on, apart from what the type buttons and the fields show.
class DialogProfileSink : public ProfileSink {
  public:
    explicit DialogProfileSink(CFarlinkDlg& dlg) : dlg_(dlg) {}

    void SelectLine(int32_t index) override {
        Select(dlg_.m_comboLine, index);
        // With no entry selected the previous line stays in force.
        const LRESULT id = dlg_.SelectedLineData();
        if (id != CB_ERR)
            dlg_.m_modem.m_tapi.deviceId = static_cast<DWORD>(id);
    }
    void SetText(ProfileText which, const std::string& text) override { held_.Text(which) = text; }
    void SetCommType(int32_t type) override { held_.commType = type; }
    void SelectPort(int32_t index) override { Select(dlg_.m_comboPort, index); }
    void SetDelay(int32_t seconds) override { held_.delay = seconds; }

    // Puts the held values into the record; for a file that was read to its end.
    void ApplyHeld() {
        for (int i = 0; i < kProfileTextCount; ++i)
            Member(static_cast<ProfileText>(i)) = held_.texts[i];
        dlg_.m_nCommType = held_.commType;
        dlg_.m_nTypeRadio = held_.commType == 0 ? 1 : 0;
        dlg_.m_nDelay = held_.delay;
    }

  private:
    // A position the list does not have clears the selection; not every combo box
    // implementation does that by itself for indexes past the end.
    static void Select(HWND list, int32_t index) {
        const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
        const bool inList = index >= 0 && index < count;
        SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(inList ? index : -1), 0);
    }
    std::string& Member(ProfileText which) {
        switch (which) {
        case ProfileText::DialNumber:
            return dlg_.m_strDialNumber;
        case ProfileText::MyNumber:
            return dlg_.m_strMyNumber;
        case ProfileText::Username:
            return dlg_.m_strUsername;
        case ProfileText::Password:
            return dlg_.m_strPassword;
        case ProfileText::Domain:
            break;
        }
        return dlg_.m_strDomain;
    }

    CFarlinkDlg& dlg_;
    ProfileValues held_;
};

std::string FileErrorText(DWORD error, const std::string& path) {
    const UINT id = FileErrorTextId(FileErrorCauseFromSystemError(error));
    return FillFileName(LoadTextOrOwn(id), path);
}

// Runs the open or save dialog in the current folder; false when the operator cancels.
bool AskProfilePath(HWND owner, bool save, std::string& path) {
    char folder[MAX_PATH + 1] = "";
    GetCurrentDirectoryA(MAX_PATH, folder);
    char file[MAX_PATH] = "*.cfg";
    const std::string title = LoadText(save ? IDS_SAVE_TITLE : IDS_LOAD_TITLE);
    // One description whose pattern part is empty: the initial name "*.cfg" does the filtering.
    static const char filter[] = "Farlink Files (*.cfg)\0\0";

    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrInitialDir = folder;
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    ofn.lpstrDefExt = "cfg";
    if (!(save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn)))
        return false;
    path = file;
    return true;
}

} // namespace

void CFarlinkDlg::OnSave() {
    UpdateData(true);

    ProfileValues values;
    values.lineIndex = static_cast<int32_t>(SendMessageA(m_comboLine, CB_GETCURSEL, 0, 0));
    values.Text(ProfileText::DialNumber) = m_strDialNumber;
    values.Text(ProfileText::MyNumber) = m_strMyNumber;
    values.Text(ProfileText::Username) = m_strUsername;
    values.Text(ProfileText::Password) = m_strPassword;
    values.Text(ProfileText::Domain) = m_strDomain;
    values.commType = m_nCommType;
    values.portIndex = static_cast<int32_t>(SendMessageA(m_comboPort, CB_GETCURSEL, 0, 0));
    values.delay = m_nDelay;

    // Refused before a file is chosen: the 16-bit count would silently cut such a text.
    ProfileText overlong;
    if (FindOverlongText(values, overlong)) {
        const std::string field =
            LoadTextOrOwn(IDS_PROFILE_FIELD_FIRST + static_cast<int>(overlong));
        AppMessageBox(FillFileName(LoadTextOrOwn(IDS_PROFILE_TEXT_TOO_LONG), field),
                      MB_ICONEXCLAMATION);
        return;
    }

    std::string path;
    if (!AskProfilePath(m_hWnd, true, path))
        return;
    std::string bytes;
    EncodeProfile(values, bytes);
    const SaveResult saved = SaveProfileToFile(path, bytes);
    std::string text;
    if (saved.error != 0)
        text = FileErrorText(saved.error, path);
    if (!saved.leftBehind.empty())
        text += (text.empty() ? "" : "\n\n") +
                FillFileName(LoadTextOrOwn(IDS_SAVE_LEFT_BEHIND), saved.leftBehind);
    if (!text.empty())
        AppMessageBox(text, MB_ICONEXCLAMATION);
}

void CFarlinkDlg::OnLoad() {
    std::string path;
    if (AskProfilePath(m_hWnd, false, path))
        LoadProfileFile(path);
}

void CFarlinkDlg::ShowProfileError(DWORD error, const std::string& path) {
    AppMessageBox(FileErrorText(error, path), MB_ICONEXCLAMATION);
}

bool CFarlinkDlg::LoadProfileFile(const std::string& path) {
    DWORD error = ERROR_SUCCESS;
    const bool loaded = ReadProfileFile(path, error);
    if (error != ERROR_SUCCESS)
        ShowProfileError(error, path);
    return loaded;
}

bool CFarlinkDlg::ReadProfileFile(const std::string& path, DWORD& error) {
    error = ERROR_SUCCESS;
    // "/PROFILE:" without a path names no profile: nothing to read, nothing to dial with.
    if (path.empty())
        return false;
    DialogProfileSink sink(*this);
    bool complete = false;
    error = LoadProfileFromFile(path, sink, complete);
    if (error != ERROR_SUCCESS)
        return false;
    // A damaged file has changed only the list selections it reached, without a word.
    if (!complete)
        return false;
    sink.ApplyHeld();
    UpdateData(false);
    UpdateControls();
    return true;
}
