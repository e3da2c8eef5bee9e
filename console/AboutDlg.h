// The About box: program icon, name and version, OK.
#pragma once
#include "console/Dialog.h"
#include "resources/resource.h"

class CAboutDlg : public Dialog {
  public:
    CAboutDlg() : Dialog(IDD_ABOUTBOX) {}
};
