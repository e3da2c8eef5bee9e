// Detached program start for the callback receiver and the control panel.
#include "shell/ProgramStart.h"
#include <cstring>
#include <vector>

bool StartDetachedProgram(const char* commandLine, WORD show) {
    // CreateProcessA may write into its command line.
    std::vector<char> line(commandLine, commandLine + strlen(commandLine) + 1);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
