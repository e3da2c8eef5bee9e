// Why a file could not be opened, created or written, and the text id that tells the operator.
#include "console/FileErrorCause.h"

#include "resources/ProfileTextIds.h"

namespace {

struct ErrorClass {
    uint32_t error;
    FileErrorCause cause;
};

// System error codes by number: this file is built without the Windows headers.
constexpr ErrorClass kClasses[] = {
    {2, FileErrorCause::FileNotFound},      // ERROR_FILE_NOT_FOUND
    {3, FileErrorCause::BadPath},           // ERROR_PATH_NOT_FOUND
    {4, FileErrorCause::TooManyOpenFiles},  // ERROR_TOO_MANY_OPEN_FILES
    {5, FileErrorCause::AccessDenied},      // ERROR_ACCESS_DENIED
    {6, FileErrorCause::InvalidFile},       // ERROR_INVALID_HANDLE
    {11, FileErrorCause::InvalidFile},      // ERROR_BAD_FORMAT
    {12, FileErrorCause::AccessDenied},     // ERROR_INVALID_ACCESS
    {15, FileErrorCause::BadPath},          // ERROR_INVALID_DRIVE
    {16, FileErrorCause::RemoveCurrentDir}, // ERROR_CURRENT_DIRECTORY
    {17, FileErrorCause::BadPath},          // ERROR_NOT_SAME_DEVICE
    {18, FileErrorCause::FileNotFound},     // ERROR_NO_MORE_FILES
    {19, FileErrorCause::AccessDenied},     // ERROR_WRITE_PROTECT
    {20, FileErrorCause::HardIO},           // ERROR_BAD_UNIT
    {21, FileErrorCause::HardIO},           // ERROR_NOT_READY
    {22, FileErrorCause::HardIO},           // ERROR_BAD_COMMAND
    {23, FileErrorCause::HardIO},           // ERROR_CRC
    {24, FileErrorCause::BadSeek},          // ERROR_BAD_LENGTH
    {25, FileErrorCause::BadSeek},          // ERROR_SEEK
    {26, FileErrorCause::InvalidFile},      // ERROR_NOT_DOS_DISK
    {27, FileErrorCause::BadSeek},          // ERROR_SECTOR_NOT_FOUND
    {29, FileErrorCause::HardIO},           // ERROR_WRITE_FAULT
    {30, FileErrorCause::HardIO},           // ERROR_READ_FAULT
    {31, FileErrorCause::HardIO},           // ERROR_GEN_FAILURE
    {32, FileErrorCause::SharingViolation}, // ERROR_SHARING_VIOLATION
    {33, FileErrorCause::LockViolation},    // ERROR_LOCK_VIOLATION
    {34, FileErrorCause::BadPath},          // ERROR_WRONG_DISK
    {36, FileErrorCause::SharingViolation}, // ERROR_SHARING_BUFFER_EXCEEDED
    {38, FileErrorCause::EndOfFile},        // ERROR_HANDLE_EOF
    {39, FileErrorCause::DiskFull},         // ERROR_HANDLE_DISK_FULL
    {53, FileErrorCause::BadPath},          // ERROR_BAD_NETPATH
    {67, FileErrorCause::BadPath},          // ERROR_BAD_NET_NAME
    {80, FileErrorCause::AccessDenied},     // ERROR_FILE_EXISTS
    {82, FileErrorCause::DirectoryFull},    // ERROR_CANNOT_MAKE
    {112, FileErrorCause::DiskFull},        // ERROR_DISK_FULL
    {123, FileErrorCause::BadPath},         // ERROR_INVALID_NAME
    {131, FileErrorCause::BadSeek},         // ERROR_NEGATIVE_SEEK
    {132, FileErrorCause::BadSeek},         // ERROR_SEEK_ON_DEVICE
    {161, FileErrorCause::BadPath},         // ERROR_BAD_PATHNAME
    {167, FileErrorCause::LockViolation},   // ERROR_LOCK_FAILED
    {183, FileErrorCause::AccessDenied},    // ERROR_ALREADY_EXISTS
    {206, FileErrorCause::BadPath},         // ERROR_FILENAME_EXCED_RANGE
    {267, FileErrorCause::BadPath},         // ERROR_DIRECTORY
    {1175, FileErrorCause::OldNotMoved},    // ERROR_UNABLE_TO_REMOVE_REPLACED
    {1176, FileErrorCause::NewNotMoved},    // ERROR_UNABLE_TO_MOVE_REPLACEMENT
    {1177, FileErrorCause::OldMovedAway},   // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2
};

} // namespace

FileErrorCause FileErrorCauseFromSystemError(uint32_t error) {
    if (error == 0)
        return FileErrorCause::None;
    for (const ErrorClass& c : kClasses) {
        if (c.error == error)
            return c.cause;
    }
    return FileErrorCause::Generic;
}

unsigned FileErrorTextId(FileErrorCause cause) {
    return IDS_FILE_ERROR_FIRST + static_cast<unsigned>(cause);
}

std::string FillFileName(const std::string& text, const std::string& fileName) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '1') {
            out += fileName;
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}
