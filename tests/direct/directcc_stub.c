/* Stands in for the system's direct cable connection program: records how it was started. */
#include <windows.h>

#include <string.h>

/* Appends the command line to directcc.log beside this program, one line per start. */
int main(void) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    while (n > 0 && path[n - 1] != '\\')
        --n;
    if (n + sizeof "directcc.log" > MAX_PATH)
        return 1;
    strcpy(path + n, "directcc.log");
    HANDLE log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    if (log == INVALID_HANDLE_VALUE)
        return 1;
    const char* line = GetCommandLineA();
    DWORD written;
    WriteFile(log, line, (DWORD)strlen(line), &written, NULL);
    WriteFile(log, "\n", 1, &written, NULL);
    CloseHandle(log);
    return 0;
}
