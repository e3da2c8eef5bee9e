// Reading and safely replacing profile files on disk; results are system error codes (0 = done).
#include "console/ProfileFile.h"

#include <algorithm>

namespace {

class FileByteSource : public ProfileByteSource {
  public:
    explicit FileByteSource(HANDLE file) : file_(file) {}

    std::size_t Read(uint8_t* dst, std::size_t count) override {
        std::size_t done = 0;
        while (done < count) {
            if (pos_ == have_ && !Refill())
                break;
            const std::size_t n = std::min(count - done, have_ - pos_);
            std::copy(buffer_ + pos_, buffer_ + pos_ + n, dst + done);
            pos_ += n;
            done += n;
        }
        return done;
    }

    // Large skips move the file pointer instead of reading, but never past the end: a length
    // prefix that claims more than the file holds fails here without touching the disk.
    bool Skip(uint64_t count) override {
        const std::size_t buffered =
            static_cast<std::size_t>(std::min<uint64_t>(count, have_ - pos_));
        pos_ += buffered;
        count -= buffered;
        if (count == 0)
            return true;
        LARGE_INTEGER size, here, zero = {};
        if (!GetFileSizeEx(file_, &size) || !SetFilePointerEx(file_, zero, &here, FILE_CURRENT))
            return false;
        const uint64_t left = static_cast<uint64_t>(size.QuadPart - here.QuadPart);
        if (count > left)
            return false;
        LARGE_INTEGER move;
        move.QuadPart = static_cast<LONGLONG>(count);
        return SetFilePointerEx(file_, move, nullptr, FILE_CURRENT) != 0;
    }

  private:
    bool Refill() {
        DWORD got = 0;
        if (!ReadFile(file_, buffer_, sizeof buffer_, &got, nullptr) || got == 0)
            return false;
        pos_ = 0;
        have_ = got;
        return true;
    }

    HANDLE file_;
    uint8_t buffer_[4096];
    std::size_t pos_ = 0;
    std::size_t have_ = 0;
};

// A 16-bit character in the system code page; one that needs more than one byte there
// cannot be part of a number anyway.
char NarrowWithCodePage(uint16_t wide) {
    const wchar_t w = static_cast<wchar_t>(wide);
    char out[4];
    const int n = WideCharToMultiByte(CP_ACP, 0, &w, 1, out, sizeof out, nullptr, nullptr);
    return n == 1 ? out[0] : '?';
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
    return path.substr(0, slash + 1);
}

DWORD WriteAll(HANDLE file, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD wrote = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        if (!WriteFile(file, bytes.data() + done, chunk, &wrote, nullptr))
            return GetLastError();
        if (wrote == 0)
            return ERROR_WRITE_FAULT;
        done += wrote;
    }
    return FlushFileBuffers(file) ? ERROR_SUCCESS : GetLastError();
}

} // namespace

DWORD LoadProfileFromFile(const std::string& path, ProfileSink& sink, bool& complete) {
    complete = false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    FileByteSource source(file);
    complete = ReadProfile(source, sink, NarrowWithCodePage);
    CloseHandle(file);
    return ERROR_SUCCESS;
}

DWORD SaveProfileToFile(const std::string& path, const std::string& bytes) {
    // Opening an existing file for writing, unshared, meets the same refusals (read-only file,
    // another program using it, a folder of that name) that overwriting it would, before
    // anything is written.
    HANDLE existing = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing != INVALID_HANDLE_VALUE)
        CloseHandle(existing);
    else if (GetLastError() != ERROR_FILE_NOT_FOUND)
        return GetLastError();

    // In the same folder, so that putting it in place is a rename on one volume.
    char temp[MAX_PATH];
    if (!GetTempFileNameA(FolderOf(path).c_str(), "cfg", 0, temp))
        return GetLastError();
    HANDLE file =
        CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        DeleteFileA(temp);
        return error;
    }
    DWORD error = WriteAll(file, bytes);
    CloseHandle(file);
    if (error == ERROR_SUCCESS &&
        !MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != ERROR_SUCCESS)
        DeleteFileA(temp);
    return error;
}
