// How Save puts a profile in place without ever losing it: the order of the file calls and what
// each failure leaves behind. The calls themselves are a seam, so that every failure can be
// played through without a disk that fails on cue.
#pragma once
#include <cstdint>
#include <string>

// The file calls of a save; each returns a system error code (0 = done).
class SaveFileCalls {
  public:
    virtual ~SaveFileCalls() = default;
    // Opens an existing file for writing, unshared, and closes it again: the refusals that
    // overwriting would meet, before anything is written. 2 (not found) when there is none;
    // realPath is then where the file really is (a link followed).
    virtual uint32_t ProbeExisting(const std::string& path, std::string& realPath) = 0;
    // Creates a new empty file with a name of its own in the folder.
    virtual uint32_t MakeUniqueFile(const std::string& folder, std::string& name) = 0;
    // Writes the bytes as the whole of an existing file, to the disk.
    virtual uint32_t WriteWhole(const std::string& name, const std::string& bytes) = 0;
    // Puts replacement in target's place, keeping target's attributes and security; target's
    // old contents go to backup.
    virtual uint32_t Replace(const std::string& target, const std::string& replacement,
                             const std::string& backup) = 0;
    // Renames a file, replacing one of the new name.
    virtual uint32_t Move(const std::string& from, const std::string& to) = 0;
    virtual uint32_t Remove(const std::string& name) = 0;
    // Rewrites the existing file where it is (truncating what is left over).
    virtual uint32_t WriteInPlace(const std::string& target, const std::string& bytes) = 0;
};

struct SaveResult {
    uint32_t error = 0; // 0: the profile is saved
    // A file of the save's own that is still there and holds profile data: the new profile
    // that could not be removed, or the old one where it could not be put back.
    std::string leftBehind;
};

// Writes the bytes to a new file beside path and only then puts it in path's place, with the
// old file kept under a backup name until the new one is in place. A failed save leaves the
// old profile where it was (or, if the system left it only under the backup name and it cannot
// be put back, says so) and removes every file it made. Only a folder that refuses new files
// (access denied) makes an existing profile be rewritten in place.
SaveResult SaveProfileWith(SaveFileCalls& files, const std::string& path, const std::string& bytes);
