// Why a file could not be opened, created or written, and the text id that tells the operator.
#pragma once

#include <cstdint>
#include <string>

// In the order of the file-error texts of the string table.
enum class FileErrorCause {
    None,
    Generic,
    FileNotFound,
    BadPath,
    TooManyOpenFiles,
    AccessDenied,
    InvalidFile,
    RemoveCurrentDir,
    DirectoryFull,
    BadSeek,
    HardIO,
    SharingViolation,
    LockViolation,
    DiskFull,
    EndOfFile,
};

// Classifies a system error code (as GetLastError reports it); unknown codes are Generic.
FileErrorCause FileErrorCauseFromSystemError(uint32_t error);

// String-table id of the text for a cause.
unsigned FileErrorTextId(FileErrorCause cause);

// Puts the file name in place of each %1 of a text; the name itself is never expanded.
std::string FillFileName(const std::string& text, const std::string& fileName);
