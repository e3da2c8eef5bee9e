// The order of a profile save's file calls and the clean-up after each failure.
#include "console/ProfileSave.h"

namespace {

// System error codes by number: this file is built without the Windows headers.
constexpr uint32_t kFileNotFound = 2;          // ERROR_FILE_NOT_FOUND
constexpr uint32_t kAccessDenied = 5;          // ERROR_ACCESS_DENIED
constexpr uint32_t kOldFileRenamedAway = 1177; // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
    return path.substr(0, slash + 1);
}

class Save {
  public:
    explicit Save(SaveFileCalls& files) : files_(files) {}

    SaveResult Run(const std::string& path, const std::string& bytes) {
        std::string target = path;
        const uint32_t probed = files_.ProbeExisting(path, target);
        if (probed != 0 && probed != kFileNotFound)
            return Fail(probed);
        const bool replacing = probed == 0;
        if (!replacing)
            target = path;

        // In the same folder, so that putting it in place is a rename on one volume.
        const std::string folder = FolderOf(target);
        std::string temp;
        if (const uint32_t error = files_.MakeUniqueFile(folder, temp)) {
            // A folder where no file may be made can still hold a profile the user may write.
            // Any other reason (a full disk or directory, a path too long) is reported: a
            // rewrite in place could then leave the profile cut short.
            if (replacing && error == kAccessDenied)
                return Fail(files_.WriteInPlace(target, bytes));
            return Fail(error);
        }
        if (const uint32_t error = files_.WriteWhole(temp, bytes))
            return Fail(error, temp);
        if (!replacing) {
            const uint32_t error = files_.Move(temp, target);
            return error ? Fail(error, temp) : Done();
        }

        std::string backup;
        if (const uint32_t error = files_.MakeUniqueFile(folder, backup))
            return Fail(error, temp);
        const uint32_t error = files_.Replace(target, temp, backup);
        if (error == 0) {
            RemoveOwn(backup); // the old profile, now replaced
            return Done();
        }
        if (error == kOldFileRenamedAway) {
            // The old profile is only under the backup name: it goes back first, and is never
            // removed while that is its only copy.
            if (files_.Move(backup, target) == 0)
                return Fail(error, temp);
            result_.leftBehind = backup;
            return Fail(error, temp);
        }
        // Otherwise (1175, 1176 and the rest) both files kept their names: the old profile is
        // where it was.
        RemoveOwn(backup);
        return Fail(error, temp);
    }

  private:
    SaveResult Done() { return result_; }

    SaveResult Fail(uint32_t error, const std::string& temp = std::string()) {
        if (!temp.empty())
            RemoveOwn(temp);
        result_.error = error;
        return result_;
    }

    void RemoveOwn(const std::string& name) {
        if (files_.Remove(name) != 0 && result_.leftBehind.empty())
            result_.leftBehind = name;
    }

    SaveFileCalls& files_;
    SaveResult result_;
};

} // namespace

SaveResult SaveProfileWith(SaveFileCalls& files, const std::string& path,
                           const std::string& bytes) {
    return Save(files).Run(path, bytes);
}
