// The run's outcome, its time limit and its log: what lets a script leave
// the program alone and learn afterwards how the call went.
#include "shell/AppShell.h"
#include "shell/TextFormat.h"
#include "console/FarlinkDlg.h"
#include "console/FileErrorCause.h"
#include "resources/resource.h"

namespace {
// Each attempt's time limit has a timer of its own: a WM_TIMER already queued when its attempt
// ended is told from the next attempt's.
constexpr UINT_PTR kAttemptTimerBase = 0x10000;
constexpr UINT_PTR kAttemptTimerSpan = 0x10000;

UINT_PTR AttemptTimer(unsigned attempt) {
    return kAttemptTimerBase + attempt % kAttemptTimerSpan;
}

Outcome OutcomeOfCallEnd(CallEnd end) {
    switch (end) {
    case CallEnd::Busy:
        return Outcome::Busy;
    case CallEnd::NoAnswer:
        return Outcome::NoAnswer;
    case CallEnd::Dropped:
        return Outcome::CallDropped;
    case CallEnd::NoConnection:
        return Outcome::NoConnection;
    case CallEnd::LoginNotTaken:
        return Outcome::LoginNotTaken;
    case CallEnd::ConnectFailed:
        break;
    }
    return Outcome::CallFailed;
}

std::string SelectedText(HWND list) {
    LRESULT selected = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        return "";
    LRESULT length = SendMessageA(list, CB_GETLBTEXTLEN, selected, 0);
    if (length <= 0)
        return "";
    std::string text(static_cast<size_t>(length) + 1, '\0');
    SendMessageA(list, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(length));
    return text;
}
} // namespace

void CFarlinkDlg::LinkEnded(unsigned attempt, CallEnd end) {
    if (attempt != m_attempt.id) {
        TraceStale(attempt, "the report of its end");
        return;
    }
    EndAttempt(OutcomeOfCallEnd(end));
}

bool CFarlinkDlg::Unattended() const {
    return m_bAutoDial && m_bAutoClose;
}

void CFarlinkDlg::OpenRunLog() {
    if (m_bLogWanted && !m_log.Open(m_strLogPath))
        m_bLogUnavailable = true;
    SetBoxWatcher(this);
}

void CFarlinkDlg::BoxOpened(const char* caption, const std::string& text) {
    m_log.HidePassword(m_strPassword);
    m_log.Add(std::string("Box \"") + (caption ? caption : "") + "\": " + text);
}

void CFarlinkDlg::CloseByItself() {
    m_bClosingByItself = true;
    AnswerOpenBoxes();
    // A verdict that arrives during a time-out's hang-up closes too: one Close is enough.
    if (!m_bClosePosted)
        PostMessageA(m_hWnd, WM_COMMAND, IDCANCEL, 0);
    m_bClosePosted = true;
}

void CFarlinkDlg::ReportStartProblems() {
    if (m_bLogUnavailable)
        AppendStatus(FillFileName(LoadTextOrOwn(IDS_LOG_UNAVAILABLE), m_strLogPath));
    if (m_bTimeoutRefused) {
        AppendStatus(LoadTextOrOwn(IDS_TIMEOUT_REFUSED));
        m_run.RecordUnusableInput(Outcome::CommandLineUnusable);
    }
}

void CFarlinkDlg::StartRunLog() {
    HWND list = m_nCommType == 1 ? m_comboPort : m_comboLine;
    m_log.HidePassword(m_strPassword);
    m_log.Begin(DescribeLink(m_nCommType, SelectedText(list)));
}

void CFarlinkDlg::FinishRun() {
    SetBoxWatcher(nullptr);
    m_log.HidePassword(m_strPassword);
    m_log.Finish(LogLastLine(m_run.Exit(), DescribeOutcome(m_run.outcome())));
}

void CFarlinkDlg::BeginAttempt() {
    m_run.BeginAttempt();
    if (m_nTimeout > 0)
        SetTimer(m_hWnd, AttemptTimer(m_attempt.id), static_cast<UINT>(m_nTimeout) * 1000u,
                 nullptr);
}

void CFarlinkDlg::EndAttempt(Outcome failure) {
    if (!m_run.RecordFailure(failure))
        return;
    KillTimer(m_hWnd, AttemptTimer(m_attempt.id));
    // Nobody is there to press Close: end once the Status lines are out.
    if (Unattended())
        CloseByItself();
}

void CFarlinkDlg::NoteReply(const std::vector<int>& replyIds) {
    m_run.RecordReply(replyIds);
    KillTimer(m_hWnd, AttemptTimer(m_attempt.id));
}

bool CFarlinkDlg::OnAttemptTimer(UINT_PTR id) {
    if (id < kAttemptTimerBase || id >= kAttemptTimerBase + kAttemptTimerSpan)
        return false;
    KillTimer(m_hWnd, id);
    if (id != AttemptTimer(m_attempt.id)) {
        TraceStale(static_cast<unsigned>(id - kAttemptTimerBase), "its time limit");
        return true;
    }
    if (!m_run.RecordFailure(Outcome::TimedOut))
        return true; // the attempt ended just before
    AppendStatus(FormatIntegers(LoadTextOrOwn(IDS_TIMEOUT_EXPIRED), {m_nTimeout}));
    // A box the hang-up opens would wait for nobody.
    m_bClosingByItself = m_bClosingByItself || m_bAutoClose;
    OnHangup();
    if (m_bAutoClose) {
        // As the close box does: whatever the stop could not end goes with telephony.
        m_modem.ShutDown();
        CloseByItself();
    }
    return true;
}
