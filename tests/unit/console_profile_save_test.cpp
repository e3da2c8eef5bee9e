// A profile save through a scripted disk: every failure the file calls can meet leaves the old
// profile in its place (or says where it is) and no file of the save's own behind.
#include "console/FileErrorCause.h"
#include "console/ProfileSave.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

// A folder of files by name; calls fail as the table says, the others act on the folder.
class ScriptedDisk : public SaveFileCalls {
  public:
    std::map<std::string, std::string> files;
    std::map<std::string, uint32_t> failures; // "Call" or "Call:name" -> error
    int made = 0;

    uint32_t ProbeExisting(const std::string& path, std::string& realPath) override {
        if (uint32_t e = Fails("Probe", path))
            return e;
        if (!files.count(path))
            return 2;
        realPath = path;
        return 0;
    }
    uint32_t MakeUniqueFile(const std::string& folder, std::string& name) override {
        if (uint32_t e = Fails("Make", folder))
            return e;
        name = folder + "cfg" + std::to_string(++made) + ".tmp";
        files[name] = "";
        return 0;
    }
    uint32_t WriteWhole(const std::string& name, const std::string& bytes) override {
        if (uint32_t e = Fails("Write", name)) {
            files[name] = bytes.substr(0, bytes.size() / 2); // the disk filled part-way
            return e;
        }
        files[name] = bytes;
        return 0;
    }
    uint32_t Replace(const std::string& target, const std::string& replacement,
                     const std::string& backup) override {
        const uint32_t e = Fails("Replace", target);
        if (e == 0 || e == 1177) { // 1177: the old file went to the backup name, no further
            files[backup] = files[target];
            files.erase(target);
        }
        if (e == 0) {
            files[target] = files[replacement];
            files.erase(replacement);
        }
        return e; // 1175, 1176 (with a backup name) and others: both files keep their names
    }
    uint32_t Move(const std::string& from, const std::string& to) override {
        if (uint32_t e = Fails("Move", from))
            return e;
        files[to] = files[from];
        files.erase(from);
        return 0;
    }
    uint32_t Remove(const std::string& name) override {
        if (uint32_t e = Fails("Remove", name))
            return e;
        files.erase(name);
        return 0;
    }
    uint32_t WriteInPlace(const std::string& target, const std::string& bytes) override {
        if (uint32_t e = Fails("InPlace", target)) {
            files[target] = bytes.substr(0, bytes.size() / 2);
            return e;
        }
        files[target] = bytes;
        return 0;
    }

  private:
    uint32_t Fails(const std::string& call, const std::string& name) const {
        auto it = failures.find(call + ":" + name);
        if (it == failures.end())
            it = failures.find(call);
        return it == failures.end() ? 0 : it->second;
    }
};

const std::string kProfile = "C:\\Sites\\north.cfg";
const std::string kTemp = "C:\\Sites\\cfg1.tmp";
const std::string kBackup = "C:\\Sites\\cfg2.tmp";

} // namespace

TEST(SaveProfileWith, NoFailureLosesTheProfileOrLeavesAFileOfItsOwn) {
    const struct {
        const char* what;
        bool existing;
        std::map<std::string, uint32_t> failures;
        uint32_t error;
        const char* profileAfter; // nullptr: no profile
        std::string leftBehind;   // and what else the folder holds afterwards
    } cases[] = {
        {"new profile", false, {}, 0, "new", ""},
        {"replaced", true, {}, 0, "new", ""},
        {"1175: old file not moved aside", true, {{"Replace", 1175}}, 1175, "old", ""},
        {"1176: new file not moved in", true, {{"Replace", 1176}}, 1176, "old", ""},
        {"1177: old file renamed away, put back", true, {{"Replace", 1177}}, 1177, "old", ""},
        {"1177, and the old file cannot go back",
         true,
         {{"Replace", 1177}, {"Move:" + kBackup, 5}},
         1177,
         nullptr,
         kBackup},
        {"replaced, old copy cannot be removed",
         true,
         {{"Remove:" + kBackup, 32}},
         0,
         "new",
         kBackup},
        {"temporary file cannot be deleted",
         true,
         {{"Replace", 1176}, {"Remove:" + kTemp, 32}},
         1176,
         "old",
         kTemp},
        {"disk full with a temporary file", true, {{"Write", 112}}, 112, "old", ""},
        {"disk full without one: no rewrite in place", true, {{"Make", 112}}, 112, "old", ""},
        {"name too long: no rewrite in place", true, {{"Make", 206}}, 206, "old", ""},
        {"folder refuses new files: rewritten in place", true, {{"Make", 5}}, 0, "new", ""},
        {"folder refuses, then the disk fills",
         true,
         {{"Make", 5}, {"InPlace", 112}},
         112,
         "n",
         ""},
        {"no new file in that folder", false, {{"Make", 5}}, 5, nullptr, ""},
        {"read-only profile", true, {{"Probe", 5}}, 5, "old", ""},
        {"new profile cannot be moved in", false, {{"Move", 183}}, 183, nullptr, ""},
    };
    for (const auto& c : cases) {
        ScriptedDisk disk;
        if (c.existing)
            disk.files[kProfile] = "old";
        disk.failures = c.failures;
        const SaveResult result = SaveProfileWith(disk, kProfile, "new");
        EXPECT_EQ(result.error, c.error) << c.what;
        EXPECT_EQ(result.leftBehind, c.leftBehind) << c.what;
        if (c.profileAfter)
            EXPECT_EQ(disk.files[kProfile], c.profileAfter) << c.what;
        else
            EXPECT_EQ(disk.files.count(kProfile), 0u) << c.what;
        disk.files.erase(kProfile);
        if (!c.leftBehind.empty()) {
            EXPECT_EQ(disk.files.count(c.leftBehind), 1u) << c.what;
            disk.files.erase(c.leftBehind);
        }
        EXPECT_TRUE(disk.files.empty()) << c.what << ": " << disk.files.begin()->first;
    }
}

TEST(SaveProfileWith, AFailedReplaceIsToldByItsOwnCause) {
    EXPECT_EQ(FileErrorCauseFromSystemError(1175), FileErrorCause::OldNotMoved);
    EXPECT_EQ(FileErrorCauseFromSystemError(1176), FileErrorCause::NewNotMoved);
    EXPECT_EQ(FileErrorCauseFromSystemError(1177), FileErrorCause::OldMovedAway);
    EXPECT_EQ(FileErrorTextId(FileErrorCause::OldMovedAway), 61873u);
}
