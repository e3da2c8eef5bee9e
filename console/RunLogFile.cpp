// Appending the log's lines to the /LOG: file.
#include "console/RunLogFile.h"

namespace {
LocalTime Now() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}
} // namespace

RunLogFile::~RunLogFile() {
    if (IsOpen())
        CloseHandle(file_);
}

bool RunLogFile::Open(const std::string& path) {
    if (IsOpen() || path.empty())
        return false;
    // Append-only access: every write lands at the end, whatever other
    // programs that share the file do with it meanwhile.
    file_ = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return IsOpen();
}

void RunLogFile::Add(const std::string& text) {
    if (!IsOpen())
        return;
    BeginUnlessBegun();
    book_.Add(Now(), text);
    Flush();
}

void RunLogFile::Begin(const std::string& link) {
    if (!IsOpen())
        return;
    if (book_.Begun())
        book_.Add(Now(), "Link: " + link);
    else
        book_.Begin(Now(), LogFirstLine(OwnFileVersion(), link));
    Flush();
}

void RunLogFile::Finish(const std::string& lastLine) {
    if (!IsOpen())
        return;
    BeginUnlessBegun();
    book_.Add(Now(), lastLine);
    Flush();
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
}

void RunLogFile::BeginUnlessBegun() {
    if (!book_.Begun())
        book_.Begin(Now(), LogFirstLine(OwnFileVersion(), "not known yet"));
}

void RunLogFile::Flush() {
    for (const std::string& line : book_.Take()) {
        DWORD written = 0;
        // A failed write loses that line only; the run does not depend on its log.
        WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
}

std::string OwnFileVersion() {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16)); // RT_VERSION
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const void* block = loaded ? LockResource(loaded) : nullptr;
    if (!block)
        return "";
    return FileVersionText(static_cast<const uint8_t*>(block), SizeofResource(nullptr, found));
}
