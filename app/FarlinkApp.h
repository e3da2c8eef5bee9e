// The application object: start-up, language module and the modal dialog.
#pragma once
#include <windows.h>

class CFarlinkApp {
  public:
    explicit CFarlinkApp(HINSTANCE exe, const char* commandTail)
        : m_hInstance(exe), m_lpCmdLine(commandTail) {}

    // Runs the whole program; always 0, as there is no loop of its own.
    int InitInstance();

    HINSTANCE m_hResourceModule = nullptr;

  private:
    HINSTANCE m_hInstance;
    const char* m_lpCmdLine;
};
