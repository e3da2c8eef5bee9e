// The /LOG: file itself: opened once for appending, written line by line so
// that a run cut short still leaves what it had shown.
#pragma once
#include "console/RunLog.h"
#include <windows.h>
#include <string>

class RunLogFile {
  public:
    RunLogFile() = default;
    RunLogFile(const RunLogFile&) = delete;
    RunLogFile& operator=(const RunLogFile&) = delete;
    ~RunLogFile();

    // False when the file cannot be opened or created; nothing is logged then.
    bool Open(const std::string& path);
    bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }

    // A password the run uses: no line written from now on shows it.
    void HidePassword(const std::string& password) { book_.HidePassword(password); }
    // A line written before Begin starts the file with a first line whose link is not known
    // yet: nothing waits in memory, and the lines stay in the order they happened.
    void Add(const std::string& text);
    // The first line, naming the link; when lines came before, a line of its own names it.
    void Begin(const std::string& link);
    // Writes the last line and closes the file.
    void Finish(const std::string& lastLine);

  private:
    void BeginUnlessBegun();
    void Flush();

    HANDLE file_ = INVALID_HANDLE_VALUE;
    RunLogBook book_;
};

// The program's file version, as its version resource gives it.
std::string OwnFileVersion();
