// Program entry: settings folder, language module, command line, then the
// main dialog runs modally until the program ends.
#include "app/FarlinkApp.h"
#include "shell/AppShell.h"
#include "app/CommandLine.h"
#include "app/ResourceModule.h"
#include "shell/SystemLibrary.h"
#include "app/UserSettings.h"
#include "console/FarlinkDlg.h"
#include "resources/resource.h"
#include <commctrl.h>
#include <string>
#include <vector>

int CFarlinkApp::InitInstance() {
    char folder[MAX_PATH] = {};
    GetUserSettingsFolder(m_hInstance, folder, sizeof folder);
    std::string settingsFile = std::string(folder) + "Program Settings.ini";

    char culture[255] = {};
    ReadCultureName(settingsFile.c_str(), culture, sizeof culture);
    LoadResourceModule(culture, m_hInstance, m_hResourceModule);
    SetCurrentResourceModule(m_hResourceModule);

    // Visual styles of the manifest take effect once the common controls
    // library is loaded.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    std::vector<std::string> tokens;
    SplitCommandLine(m_lpCmdLine, tokens);
    {
        CFarlinkDlg dialog;
        ApplyCommandLine(dialog, tokens);
        if (dialog.m_bShowUsage) {
            // Asked for the options only: nothing is dialled.
            AppMessageBox(LoadTextOrOwn(IDS_USAGE), MB_OK | MB_ICONINFORMATION);
        } else {
            dialog.DoModal(nullptr);
            SetMainWindowHandle(nullptr);
            dialog.FinishRun();
            m_nExitCode = dialog.ExitStatus();
        }
    }
    FreeResourceModule(m_hInstance, m_hResourceModule);
    SetCurrentResourceModule(m_hInstance);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int) {
    // Before any library is loaded: none may come from the folder the exe was started from.
    RestrictDllSearchToSystem();
    CFarlinkApp app(instance, commandTail);
    app.InitInstance();
    return app.ExitCode();
}
