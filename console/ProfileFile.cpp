// Reading and safely replacing profile files on disk; results are system error codes (0 = done).
#include "console/ProfileFile.h"

#include "shell/LateBoundKernel.h"

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

// The file the handle has open, by its full path; the given path when that cannot be told.
std::string RealPathOf(HANDLE file, const std::string& path) {
    char real[MAX_PATH + 8];
    const DWORD n = late_bound::FinalPathOf(file, real, sizeof real);
    if (n == 0 || n >= sizeof real)
        return path;
    std::string found(real, n);
    // "\\?\C:\..." names a drive path; other long forms are left to the given path.
    if (found.compare(0, 4, "\\\\?\\") == 0 && found.size() > 6 && found[5] == ':')
        return found.substr(4);
    return found.compare(0, 4, "\\\\?\\") == 0 ? path : found;
}

// Puts the new file in the old one's place and keeps what the user set on the old one: the
// replace keeps its security descriptor, and the attribute bits are carried over first
// because not every system's replace carries them.
DWORD ReplaceKeepingAttributes(const std::string& target, const std::string& temp,
                               const std::string& backup) {
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kKept) != 0)
        SetFileAttributesA(temp.c_str(), attributes & kKept);
    if (ReplaceFileA(target.c_str(), temp.c_str(), backup.c_str(), REPLACEFILE_WRITE_THROUGH,
                     nullptr, nullptr))
        return ERROR_SUCCESS;
    return GetLastError();
}

// The fallback without a temporary file: the profile is rewritten where it is. A failure
// part-way leaves it damaged, and is reported like any other.
DWORD RewriteInPlace(const std::string& target, const std::string& bytes) {
    HANDLE file = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD error = WriteAll(file, bytes);
    if (error == ERROR_SUCCESS && !SetEndOfFile(file))
        error = GetLastError();
    if (!CloseHandle(file) && error == ERROR_SUCCESS)
        error = GetLastError();
    return error;
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

namespace {

class DiskFileCalls : public SaveFileCalls {
  public:
    uint32_t ProbeExisting(const std::string& path, std::string& realPath) override {
        HANDLE existing = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
        if (existing == INVALID_HANDLE_VALUE)
            return GetLastError();
        // A profile reached through a link is replaced where it really is; the link stays.
        realPath = RealPathOf(existing, path);
        CloseHandle(existing);
        return ERROR_SUCCESS;
    }
    uint32_t MakeUniqueFile(const std::string& folder, std::string& name) override {
        char made[MAX_PATH];
        if (!GetTempFileNameA(folder.c_str(), "cfg", 0, made))
            return GetLastError();
        // Not every system's GetTempFileName reports that it could not create the file: the
        // file is opened here, so that a folder refusing new files says so now.
        HANDLE file = CreateFileA(made, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return GetLastError();
        CloseHandle(file);
        name = made;
        return ERROR_SUCCESS;
    }
    uint32_t WriteWhole(const std::string& name, const std::string& bytes) override {
        HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return GetLastError();
        DWORD error = WriteAll(file, bytes);
        if (!CloseHandle(file) && error == ERROR_SUCCESS)
            error = GetLastError();
        return error;
    }
    uint32_t Replace(const std::string& target, const std::string& replacement,
                     const std::string& backup) override {
        return ReplaceKeepingAttributes(target, replacement, backup);
    }
    uint32_t Move(const std::string& from, const std::string& to) override {
        return MoveFileExA(from.c_str(), to.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                   ? ERROR_SUCCESS
                   : GetLastError();
    }
    uint32_t Remove(const std::string& name) override {
        // A virus scanner may hold a new file for a moment: a few tries before giving up.
        DWORD error = ERROR_SUCCESS;
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (attempt > 0)
                Sleep(200);
            if (DeleteFileA(name.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND)
                return ERROR_SUCCESS;
            error = GetLastError();
        }
        return error;
    }
    uint32_t WriteInPlace(const std::string& target, const std::string& bytes) override {
        return RewriteInPlace(target, bytes);
    }
};

} // namespace

SaveResult SaveProfileToFile(const std::string& path, const std::string& bytes) {
    DiskFileCalls files;
    return SaveProfileWith(files, path, bytes);
}
