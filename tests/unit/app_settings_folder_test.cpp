// Per-user settings folder: product folder names, lookup order, and bounded output.
#include "app/SettingsFolderName.h"
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace {

// A program folder, its optional installation settings and the two folder lookups.
struct FakePlatform {
    std::string exePath = "C:\\Tools\\Tool.exe";
    unsigned major = 6;
    bool settingsPresent = false;
    std::map<std::string, std::string> values; // "Section/Key" -> value
    bool knownWorks = true, olderWorks = true;
    std::string known = "D", older = "E";
    std::vector<std::string> filesAsked;

    SettingsFolderPlatform Make() {
        SettingsFolderPlatform p;
        p.executablePath = [this] { return exePath; };
        p.majorVersion = [this] { return major; };
        p.isFile = [this](const std::string& f) {
            filesAsked.push_back(f);
            return settingsPresent;
        };
        p.readSetting = [this](const std::string&, const char* section, const char* key,
                               const char* def, std::size_t size) {
            auto it = values.find(std::string(section) + "/" + key);
            std::string v = it == values.end() ? def : it->second;
            return v.substr(0, size - 1);
        };
        p.knownLocalAppData = [this](std::string& out) {
            out = known;
            return knownWorks;
        };
        p.olderLocalAppData = [this](std::string& out) {
            out = older;
            return olderWorks;
        };
        return p;
    }

    std::string Folder(std::size_t size = 260) {
        std::vector<char> out(size + 1, '#'); // one guard byte past the end
        const char* r = ComposeUserSettingsFolder(Make(), out.data(), size);
        EXPECT_EQ(out[size], '#') << "wrote past the buffer";
        return r ? std::string(r) : std::string("(null)");
    }
};

TEST(UserSettingsFolder, ResultsByInstallationSettings) {
    const struct {
        const char* what;
        bool present;
        std::map<std::string, std::string> values;
        const char* folder;
    } cases[] = {
        {"no settings file", false, {}, "D\\"},
        {"file without keys", true, {}, "D\\Korvane v6.1\\"},
        {"product and version",
         true,
         {{"OEM/ProductName", "P"}, {"Install/Version", "7.0"}},
         "D\\P v7.0\\"},
        {"company 40", true, {{"OEM/ProductName", "P"}, {"OEM/CompanyID", "40"}}, "D\\P\\"},
        {"company 40x", true, {{"OEM/ProductName", "P"}, {"OEM/CompanyID", "40x"}}, "D\\P\\"},
        {"company 400", true, {{"OEM/CompanyID", "400"}}, "D\\Korvane v6.1\\"},
        {"company x40", true, {{"OEM/CompanyID", "x40"}}, "D\\Korvane v6.1\\"},
        {"company 41", true, {{"OEM/CompanyID", "41"}}, "D\\Korvane v6.1\\"},
        {"empty product", true, {{"OEM/ProductName", ""}}, "D\\ v6.1\\"},
    };
    for (const auto& c : cases) {
        FakePlatform fake;
        fake.settingsPresent = c.present;
        fake.values = c.values;
        EXPECT_EQ(fake.Folder(), c.folder) << c.what;
        EXPECT_EQ(fake.filesAsked, std::vector<std::string>{"C:\\Tools\\Program Settings.ini"});
    }
}

TEST(UserSettingsFolder, LookupOrderAndFallbacks) {
    FakePlatform fake;
    fake.knownWorks = false;
    EXPECT_EQ(fake.Folder(), "E\\");
    fake.olderWorks = false;
    EXPECT_EQ(fake.Folder(), "C:\\Tools\\");

    FakePlatform old;
    old.major = 4;
    old.settingsPresent = true;
    EXPECT_EQ(old.Folder(), "C:\\Tools\\");
    EXPECT_TRUE(old.filesAsked.empty());

    FakePlatform noPath;
    noPath.exePath = "";
    EXPECT_EQ(noPath.Folder(), "");
    noPath.exePath = "Tool.exe";
    EXPECT_EQ(noPath.Folder(), "");
}

TEST(UserSettingsFolder, NullOrEmptyBufferGivesNull) {
    FakePlatform fake;
    EXPECT_EQ(ComposeUserSettingsFolder(fake.Make(), nullptr, 260), nullptr);
    char one = '#';
    EXPECT_EQ(ComposeUserSettingsFolder(fake.Make(), &one, 0), nullptr);
    EXPECT_EQ(one, '#');
}

TEST(UserSettingsFolder, NeverCutsAndNeverOverruns) {
    // A folder that does not fit whole is skipped for the next candidate.
    FakePlatform fake;
    fake.settingsPresent = true;
    fake.values = {{"OEM/ProductName", "P"}, {"Install/Version", "7.0"}};
    fake.known = std::string(200, 'k');
    fake.older = "E";
    EXPECT_EQ(fake.Folder(260), fake.known + "\\P v7.0\\");
    EXPECT_EQ(fake.Folder(209), fake.known + "\\P v7.0\\");
    EXPECT_EQ(fake.Folder(208), "E\\P v7.0\\");
    fake.older = std::string(300, 'e');
    EXPECT_EQ(fake.Folder(208), "C:\\Tools\\");
    EXPECT_EQ(fake.Folder(10), "C:\\Tools\\");
    EXPECT_EQ(fake.Folder(9), "");
    EXPECT_EQ(fake.Folder(1), "");

    // Huge values from the settings file are cut to the product folder size.
    fake.known = "D";
    fake.values = {{"OEM/ProductName", std::string(5000, 'p')},
                   {"Install/Version", std::string(5000, 'v')}};
    const std::string folder = fake.Folder(4096);
    EXPECT_EQ(folder, "D\\" + std::string(127, 'p') + "\\");
    FakePlatform longExe;
    longExe.exePath = std::string(5000, 'x') + "\\Tool.exe";
    EXPECT_EQ(longExe.Folder(260), "");
}

} // namespace
