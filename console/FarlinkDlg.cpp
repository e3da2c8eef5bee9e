// Main dialog: initialisation, message routing, status log, enable rules and
// the field handlers.
#include "console/FarlinkDlg.h"
#include "console/AboutDlg.h"
#include "console/DialogRules.h"
#include "resources/resource.h"
#include "shell/AppShell.h"
#include "shell/LinkMessages.h"
#include <cstdio>
#include <vector>

namespace {
constexpr int kLineIdCapacity = 130;
} // namespace

CFarlinkDlg::CFarlinkDlg() : Dialog(IDD_FARLINK_DIALOG) {
    m_hIcon = LoadIconA(CurrentResourceModule(), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

void CFarlinkDlg::DoDataExchange(DataExchange& dx) {
    dx.Control(IDC_PORT_LIST, m_comboPort);
    dx.Control(IDC_LINE_LIST, m_comboLine);
    dx.Text(IDC_DIAL_NUMBER, m_strDialNumber);
    dx.Text(IDC_DOMAIN, m_strDomain);
    dx.Text(IDC_MY_NUMBER, m_strMyNumber);
    dx.Text(IDC_PASSWORD, m_strPassword);
    dx.Text(IDC_USERNAME, m_strUsername);
    dx.Radio(IDC_DIRECT_RADIO, m_nTypeRadio);
    dx.Integer(IDC_DELAY, m_nDelay);
}

BOOL CFarlinkDlg::OnInitDialog() {
    SetLinkEvents(this);
    SetMainWindowHandle(m_hWnd);
    Dialog::OnInitDialog();

    std::string about = LoadText(IDS_ABOUTBOX);
    if (!about.empty()) {
        HMENU menu = GetSystemMenu(m_hWnd, FALSE);
        if (menu) {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // The log first, so that it holds every line and box from here on, as they come.
    OpenRunLog();
    InitializeTapi();
    FillLineList();
    FillPortList();

    // The profile is read before the log's first line, which names the link it chooses; a box
    // about it opens once the run's first lines are written.
    DWORD profileError = ERROR_SUCCESS;
    const bool profileOk = !m_bProfileWanted || ReadProfileFile(m_strProfilePath, profileError);
    StartRunLog();
    AppendStatus(LoadText(IDS_READY));
    ReportStartProblems();

    // An unattended dial with the values of a profile that could not be read
    // would reach the wrong station or none: the operator sees the error box
    // and dials by hand.
    if (!profileOk) {
        if (m_strProfilePath.empty())
            AppendStatus(LoadTextOrOwn(IDS_PROFILE_EMPTY)); // "/PROFILE:%1", %1 not given
        m_run.RecordUnusableInput(Outcome::ProfileUnusable);
    }
    if (profileError != ERROR_SUCCESS)
        ShowProfileError(profileError, m_strProfilePath);
    bool usable = profileOk && !m_bTimeoutRefused;
    if (m_bAutoDial && usable)
        PostMessageA(m_hWnd, WM_COMMAND, ID_DIAL, 0);
    else if (Unattended() && !usable)
        CloseByItself();

    UpdateControls();
    return TRUE;
}

void CFarlinkDlg::FillLineList() {
    std::vector<std::string> names;
    std::vector<DWORD> ids(kLineIdCapacity);
    BuildLineList(names, ids.data(), kLineIdCapacity);
    for (size_t i = 0; i < names.size() && i < ids.size(); ++i) {
        LRESULT index =
            SendMessageA(m_comboLine, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names[i].c_str()));
        SendMessageA(m_comboLine, CB_SETITEMDATA, index, ids[i]);
    }
    int count = static_cast<int>(SendMessageA(m_comboLine, CB_GETCOUNT, 0, 0));
    if (count > 0)
        SelectLine(m_nPreferredLine < count ? m_nPreferredLine : 0);
}

void CFarlinkDlg::SelectLine(int index) {
    SendMessageA(m_comboLine, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    m_modem.m_tapi.deviceId = static_cast<DWORD>(SelectedLineData());
}

LRESULT CFarlinkDlg::SelectedLineData() const {
    LRESULT selected = SendMessageA(m_comboLine, CB_GETCURSEL, 0, 0);
    return SendMessageA(m_comboLine, CB_GETITEMDATA, selected, 0);
}

void CFarlinkDlg::FillPortList() {
    for (int n = 1; n <= 8; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "COM%d", n);
        std::string device = std::string(name) + ":";
        // Opening unshared is the one way to learn that the port exists and
        // that no other program holds it right now.
        HANDLE port = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (port == INVALID_HANDLE_VALUE)
            continue;
        CloseHandle(port);
        SendMessageA(m_comboPort, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    SendMessageA(m_comboPort, CB_SETCURSEL, 0, 0);
}

bool CFarlinkDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) != IDM_ABOUTBOX)
            return false;
        OnSysCommand(static_cast<UINT>(wParam), lParam);
        return true;
    case WM_PAINT:
        if (!IsIconic(m_hWnd))
            return false;
        OnPaint();
        return true;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<INT_PTR>(m_hIcon);
        return true;
    case WM_CLOSE:
        OnClose();
        return false; // the dialog manager turns the close into Cancel
    case WM_REMOTE_DATA:
        result = OnRemoteData(wParam, lParam);
        return true;
    case WM_CHANNEL_FAILED:
        OnChannelFailed(static_cast<unsigned>(wParam));
        return true;
    case WM_REMOTE_CONNECTED:
        result = OnRemoteConnected(wParam, lParam);
        return true;
    case WM_NCDESTROY:
        // Whatever runs after the dialog (the run's log) finds no dialog to drive.
        SetLinkEvents(nullptr);
        return false;
    case WM_TIMER:
        return OnAttemptTimer(wParam);
    case WM_COMMAND:
        break;
    default:
        return false;
    }

    WORD id = LOWORD(wParam);
    WORD code = HIWORD(wParam);
    if (id == IDC_LINE_LIST && code == CBN_SELCHANGE) {
        OnLineSelChange();
    } else if (id == IDC_DELAY && code == EN_KILLFOCUS) {
        OnDelayKillFocus();
    } else if (code != BN_CLICKED) {
        return false;
    } else if (id == ID_DIAL) {
        OnDial();
    } else if (id == ID_HANGUP) {
        OnHangup();
    } else if (id == IDC_LOAD) {
        OnLoad();
    } else if (id == IDC_SAVE) {
        OnSave();
    } else if (id == IDOK || id == IDCANCEL) {
        // The dialog ends once this returns to its loop: a wait or box that
        // served this command must not go on with an attempt afterwards.
        m_modem.DialogEnding();
        return Dialog::OnMessage(message, wParam, lParam, result);
    } else if (id == IDC_MODEM_RADIO) {
        OnModemRadio();
    } else if (id == IDC_DIRECT_RADIO) {
        OnDirectRadio();
    } else {
        return Dialog::OnMessage(message, wParam, lParam, result);
    }
    return true;
}

void CFarlinkDlg::AppendStatus(const std::string& text) {
    std::string line = StatusLineText(text);
    m_log.HidePassword(m_strPassword);
    m_log.Add(line);
    m_heldStatus += line;
    m_heldStatus += "\r\r\n";
    if (!m_bStatusHeld)
        ShowHeldStatus();
}

void CFarlinkDlg::ShowHeldStatus() {
    m_bStatusHeld = false;
    HWND log = GetDlgItem(IDC_STATUS);
    if (m_heldStatus.empty() || !log) {
        m_heldStatus.clear();
        return;
    }
    if (StatusLogIsFull(static_cast<size_t>(GetWindowTextLengthA(log))))
        SetWindowTextA(log, "");
    // The caret to the end, then the lines in: the replacement leaves the caret after them and
    // scrolls it into view, so nothing more is asked of the box.
    int end = GetWindowTextLengthA(log);
    SendMessageA(log, EM_SETSEL, end, end);
    SendMessageA(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(m_heldStatus.c_str()));
    m_heldStatus.clear();
    OutputDebugStringA("Timeline: Status box updated\n");
}

void CFarlinkDlg::UpdateControls() {
    bool haveLines = SendMessageA(m_comboLine, CB_GETCOUNT, 0, 0) > 0;
    bool havePorts = SendMessageA(m_comboPort, CB_GETCOUNT, 0, 0) > 0;
    EnabledControls e =
        ComputeEnabledControls(AnyLinkBusy(), m_nCommType, haveLines, havePorts);
    const struct {
        int id;
        bool enabled;
    } rules[] = {
        {ID_DIAL, e.dial},
        {ID_HANGUP, e.hangup},
        {IDC_DOMAIN, e.credentials},
        {IDC_USERNAME, e.credentials},
        {IDC_PASSWORD, e.credentials},
        {IDC_LINE_LIST, e.lineList},
        {IDC_PORT_LIST, e.portList},
        {IDC_DELAY, e.delay},
        {IDC_DIAL_NUMBER, e.numbers},
        {IDC_MY_NUMBER, e.numbers},
    };
    for (const auto& rule : rules)
        EnableWindow(GetDlgItem(rule.id), rule.enabled);
}

void CFarlinkDlg::OnModemRadio() {
    m_nCommType = 0;
    UpdateControls();
}

void CFarlinkDlg::OnDirectRadio() {
    m_nCommType = 1;
    UpdateControls();
}

void CFarlinkDlg::OnDelayKillFocus() {
    UpdateData(true);
    m_nDelay = ClampDelay(m_nDelay);
    UpdateData(false);
}

void CFarlinkDlg::OnLineSelChange() {
    UpdateData(true);
    m_modem.m_tapi.deviceId = static_cast<DWORD>(SelectedLineData());
}

void CFarlinkDlg::OnSysCommand(UINT, LPARAM) {
    CAboutDlg about;
    about.DoModal(m_hWnd);
}

void CFarlinkDlg::OnPaint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    int iconWidth = GetSystemMetrics(SM_CXICON);
    int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(m_hWnd, &client);
    int x = (client.right - client.left - iconWidth + 1) / 2;
    int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
}
