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
    // A replace that failed part-way; the save has put back or cleared away what it could.
    OldNotMoved,  // the old file stayed in its place
    NewNotMoved,  // the new file stayed under its temporary name
    OldMovedAway, // the old file had been renamed when the replace failed
};

// Classifies a system error code (as GetLastError reports it); unknown codes are Generic.
FileErrorCause FileErrorCauseFromSystemError(uint32_t error);

// String-table id of the text for a cause.
unsigned FileErrorTextId(FileErrorCause cause);

// Puts the file name in place of each %1 of a text; the name itself is never expanded.
std::string FillFileName(const std::string& text, const std::string& fileName);
