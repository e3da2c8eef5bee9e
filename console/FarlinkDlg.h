// The main dialog: connection parameters, status log and the commands that
// drive a link to the station.
#pragma once
#include "console/ConnectionParameters.h"
#include "console/Dialog.h"
#include "console/RunLogFile.h"
#include "console/RunOutcome.h"
#include "links/CableLink.h"
#include "links/ModemLink.h"
#include "shell/AppBoxes.h"
#include "shell/LinkEvents.h"
#include <string>
#include <vector>

class CFarlinkDlg : public Dialog,
                    public ConnectionParameters,
                    private BoxWatcher,
                    private LinkEvents {
  public:
    CFarlinkDlg();

    void AppendStatus(const std::string& text);
    void UpdateControls();

    // Loads a profile file into the fields, as Load... does; false (after
    // telling the operator why) when it could not be read.
    bool LoadProfileFile(const std::string& path);
    // The same without the box: error is the system error of a file that could not be
    // opened (0 otherwise); false also for an empty path and a damaged file.
    bool ReadProfileFile(const std::string& path, DWORD& error);
    void ShowProfileError(DWORD error, const std::string& path);

    // Item data of the selected modem line: the list's error value (CB_ERR)
    // when no entry is selected.
    LRESULT SelectedLineData() const;

    // The run's outcome so far: the exit status of the program.
    int ExitStatus() const { return m_run.Exit(); }
    // Ends the open attempt with a failure; the first outcome of an attempt stands.
    void EndAttempt(Outcome failure);
    // Writes the log's last line; once the dialog has ended.
    void FinishRun();

    HWND m_comboPort = nullptr;
    HWND m_comboLine = nullptr;
    ModemLink m_modem; // owns the telephony state, TapiState
    CableLink m_cable;
    HICON m_hIcon = nullptr;

  protected:
    void DoDataExchange(DataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

  private:
    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    void OnModemRadio();
    void OnDirectRadio();
    void OnDelayKillFocus();
    void OnLineSelChange();
    void OnDial();
    void OnHangup();
    void OnClose();
    void OnLoad();
    void OnSave();
    LRESULT OnRemoteConnected(WPARAM attempt, LPARAM lParam);
    LRESULT OnRemoteData(WPARAM count, LPARAM block);
    void OnChannelFailed(unsigned attempt);

    // Call attempts. Dial takes the dialog's values into m_attempt and dials them on the link
    // chosen then; everything that comes back names its attempt, and what names another one
    // (or comes after the attempt ended) is dropped with a trace line.
    void StartAttempt();
    bool TakeDialData(DialData& data);
    Link& ChosenLink() { return m_nCommType == 1 ? static_cast<Link&>(m_cable) : m_modem; }
    // The link of the attempt under way or last made; before the first, the chosen one.
    Link& AttemptLink() { return m_attempt.link != nullptr ? *m_attempt.link : ChosenLink(); }
    bool AnyLinkBusy() const { return m_modem.Busy() || m_cable.Busy(); }
    bool StaleFor(unsigned attempt, const char* what) const;
    void TakeAnswer(const uint8_t* bytes, int length);

    // What the links report (shell/LinkEvents.h).
    void LinkStatus(const std::string& line) override { AppendStatus(line); }
    void LinkChanged() override { UpdateControls(); }
    void LinkEnded(unsigned attempt, CallEnd end) override;

    // Unattended runs: outcome, time limit and log.
    bool Unattended() const;
    void OpenRunLog();
    void ReportStartProblems();
    void StartRunLog();
    void BeginAttempt();
    void NoteReply(const std::vector<int>& replyIds);
    bool OnAttemptTimer(UINT_PTR id);
    // The program closes by itself: every box of its own still open is answered as declined,
    // and any box that opens from now on too, since nobody is there to answer it.
    void CloseByItself();
    void BoxOpened(const char* caption, const std::string& text) override;
    bool AnswerBoxesAtOnce() const override { return m_bClosingByItself; }

    void FillLineList();
    void FillPortList();
    void StartCallbackReceiver();
    // Selects entry index of the line list and takes its device id, as the
    // line list's own selection rules give it.
    void SelectLine(int index);

    // Status lines that follow each other with nothing between them go into the box with one
    // replacement: the box costs about as much per replacement whatever it holds. While held,
    // AppendStatus only logs a line and keeps it; ShowHeldStatus puts the kept lines in and
    // ends the hold.
    void HoldStatus() { m_bStatusHeld = true; }
    void ShowHeldStatus();

    // The attempt under way, or the last one once it ended.
    struct DialAttempt {
        unsigned id = 0;              // counts up from 1 with every Dial; 0 before the first
        Link* link = nullptr;         // the link it was dialled on
        DialData data;                // the dialog's values when Dial was pressed
        int replyState = 0;           // the reply parser's state across blocks
        bool callbackPending = false; // a cable answer came: its hang-up prepares the callback
    } m_attempt;
    unsigned m_attemptsStarted = 0;
    bool m_bDialing = false; // Dial runs: a Dial served inside one of its boxes does nothing

    RunRecord m_run;
    RunLogFile m_log;
    bool m_bLogUnavailable = false;
    bool m_bClosingByItself = false;
    bool m_bClosePosted = false;
    bool m_bStatusHeld = false;
    std::string m_heldStatus;
};
