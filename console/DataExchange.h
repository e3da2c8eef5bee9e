// Moves values between a dialog's controls and its members, in one direction
// per run. A field that fails validation is reported, gets the focus, keeps
// its member unchanged and stops the run.
#pragma once
#include <windows.h>
#include <string>

class DataExchange {
  public:
    DataExchange(HWND dialog, bool saveAndValidate)
        : m_hDialog(dialog), m_bSaveAndValidate(saveAndValidate) {}

    void Control(int id, HWND& control);
    void Text(int id, std::string& value);
    void Integer(int id, int& value);
    // The auto radio buttons of the group that starts at firstId: the index
    // of the checked one, -1 when none is.
    void Radio(int firstId, int& index);

    bool Failed() const { return m_bFailed; }

  private:
    void Fail(int id, UINT messageId);

    HWND m_hDialog;
    bool m_bSaveAndValidate;
    bool m_bFailed = false;
};

// Reads a window's whole text.
std::string WindowText(HWND hwnd);
