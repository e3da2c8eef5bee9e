// A modal dialog from a template of the current resource module, with one
// dialog procedure that hands every message to the object behind the window.
#pragma once
#include "console/DataExchange.h"
#include <windows.h>

class Dialog {
  public:
    explicit Dialog(int templateId) : m_nTemplateId(templateId) {}
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog until EndDialog; returns its result, -1 when the
    // template could not be loaded.
    INT_PTR DoModal(HWND parent = nullptr);
    void EndDialog(INT_PTR result);

    // Runs the data exchange: controls to members when saveAndValidate,
    // members to controls otherwise. False when a field failed validation.
    bool UpdateData(bool saveAndValidate = true);

    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

    HWND m_hWnd = nullptr;

  protected:
    virtual void DoDataExchange(DataExchange&) {}
    // Default: fill the controls from the members.
    virtual BOOL OnInitDialog();
    // Returns true when the message was handled; result is the dialog
    // procedure's answer for it.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

    int m_nTemplateId;

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The dialog procedure's answer to one message, after WM_INITDIALOG.
    INT_PTR Answer(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    bool m_bEnding = false; // EndDialog was called: the loop must see it
};
