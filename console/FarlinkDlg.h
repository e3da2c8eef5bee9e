// The main dialog: connection parameters, status log and the commands that
// drive a link to the station.
#pragma once
#include "app/ConnectionParameters.h"
#include "console/Dialog.h"
#include "telephony/TapiCode.h"
#include <string>

class CFarlinkDlg : public Dialog, public ConnectionParameters {
  public:
    CFarlinkDlg();

    void AppendStatus(const std::string& text);
    void UpdateControls();

    // Loads a profile file into the fields, as Load... does; false (after
    // telling the operator why) when it could not be read.
    bool LoadProfileFile(const std::string& path);

    // Item data of the selected modem line: the list's error value (CB_ERR)
    // when no entry is selected.
    LRESULT SelectedLineData() const;

    HWND m_comboPort = nullptr;
    HWND m_comboLine = nullptr;
    TapiState m_tapi;
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
    LRESULT OnRemoteConnected(WPARAM wParam, LPARAM lParam);
    LRESULT OnRemoteData(WPARAM count, LPARAM block);

    void FillLineList();
    void FillPortList();
    void DialDirect();
    void StartCallbackReceiver();
    // Selects entry index of the line list and takes its device id, as the
    // line list's own selection rules give it.
    void SelectLine(int index);
};

// The application's main dialog while it runs; null otherwise.
CFarlinkDlg* TheMainDialog();
