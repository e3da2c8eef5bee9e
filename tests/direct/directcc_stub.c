/* Stands in for a program the product starts (the system's direct cable connection
   program, the control panel): records how it was started. */
#include <windows.h>

#include <string.h>

/* Appends the command line to <own name>.log beside this program (Directcc.exe writes
   directcc.log, CONTROL.EXE control.log), one line per start. */
int main(void) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 1;
    char* name = strrchr(path, '\\');
    name = name ? name + 1 : path;
    char* dot = strrchr(name, '.');
    if (dot)
        *dot = '\0';
    CharLowerA(name);
    if (strlen(path) + sizeof ".log" > MAX_PATH)
        return 1;
    strcat(path, ".log");
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
