// The application object: start-up, language module and the modal dialog.
#pragma once
#include "console/RunOutcome.h"
#include <windows.h>

class CFarlinkApp {
  public:
    explicit CFarlinkApp(HINSTANCE exe, const char* commandTail)
        : m_hInstance(exe), m_lpCmdLine(commandTail) {}

    // Runs the whole program; always 0, as there is no loop of its own.
    int InitInstance();
    // The process's exit status, known once InitInstance has returned.
    int ExitCode() const { return m_nExitCode; }

    HINSTANCE m_hResourceModule = nullptr;

  private:
    HINSTANCE m_hInstance;
    const char* m_lpCmdLine;
    int m_nExitCode = kExitNoExchange; // until the dialog says otherwise
};
