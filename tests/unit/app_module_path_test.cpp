// Language module naming and the culture-folder search, over a fake set of folders.
#include "app/ModulePath.h"
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace {

// Directories that exist, with every query recorded in order.
struct FakeFolders {
    std::set<std::string> existing;
    std::vector<std::string> asked;
    DirectoryQuery Query() {
        return [this](const std::string& path) {
            asked.push_back(path);
            return existing.count(path) != 0;
        };
    }
};

TEST(ResourceModuleFileName, TagsKnownExtensionsOnly) {
    const struct {
        const char* exe;
        const char* module;
    } cases[] = {
        {"Tool.exe", "Tool-EXE-mui.dll"},
        {"Tool.EXE", "Tool-EXE-mui.dll"},
        {"tool.Exe", "tool-EXE-mui.dll"},
        {"Plug.dll", "Plug-DLL-mui.dll"},
        {"Ctl.ocx", "Ctl-OCX-mui.dll"},
        {"tool.bin", "tool.bin-mui.dll"},
        {"tool", "tool-mui.dll"},
        {"my.tool.exe", "my.tool-EXE-mui.dll"},
        {"tool.exe.bak", "tool.exe.bak-mui.dll"},
        {"tool.", "tool.-mui.dll"},
        {".exe", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResourceModuleFileName(c.exe), c.module) << c.exe;
}

TEST(ResourceModulePath, FolderSearchAndFallbacks) {
    const struct {
        const char* culture;
        const char* exePath;
        std::set<std::string> folders;
        const char* module; // "" = the executable's own resources
        std::vector<std::string> asked;
    } cases[] = {
        {"de-AT",
         "C:\\Tools\\Tool.exe",
         {"C:\\Tools\\de"},
         "C:\\Tools\\de\\Tool-EXE-mui.dll",
         {"C:\\Tools\\de-AT", "C:\\Tools\\de"}},
        {"sr-SP-Latn",
         "C:\\T\\Tool.exe",
         {"C:\\T\\sr"},
         "C:\\T\\sr\\Tool-EXE-mui.dll",
         {"C:\\T\\sr-SP-Latn", "C:\\T\\sr-SP", "C:\\T\\sr"}},
        {"sr-SP-Latn",
         "C:\\T\\Tool.exe",
         {"C:\\T\\sr-SP", "C:\\T\\sr"},
         "C:\\T\\sr-SP\\Tool-EXE-mui.dll",
         {"C:\\T\\sr-SP-Latn", "C:\\T\\sr-SP"}},
        // Only the folder is tested: an fr-CA folder ends the search even
        // when the module is in fr.
        {"fr-CA",
         "C:\\T\\Tool.exe",
         {"C:\\T\\fr-CA", "C:\\T\\fr"},
         "C:\\T\\fr-CA\\Tool-EXE-mui.dll",
         {"C:\\T\\fr-CA"}},
        // No folder: the module is looked for beside the executable.
        {"xx", "C:\\T\\Tool.exe", {}, "C:\\T\\Tool-EXE-mui.dll", {"C:\\T\\xx"}},
        {"", "C:\\T\\Tool.exe", {"C:\\T\\de"}, "C:\\T\\Tool-EXE-mui.dll", {}},
        {nullptr, "C:\\T\\Tool.exe", {}, "C:\\T\\Tool-EXE-mui.dll", {}},
        // English (United States) is the executable's own, in any case; other
        // English cultures are searched.
        {"en-US", "C:\\T\\Tool.exe", {"C:\\T\\en-US"}, "", {}},
        {"EN-us", "C:\\T\\Tool.exe", {}, "", {}},
        {"en", "C:\\T\\Tool.exe", {"C:\\T\\en"}, "C:\\T\\en\\Tool-EXE-mui.dll", {"C:\\T\\en"}},
        {"en-GB", "C:\\T\\Tool.exe", {}, "C:\\T\\Tool-EXE-mui.dll", {"C:\\T\\en-GB", "C:\\T\\en"}},
        // A forward slash separates when there is no backslash.
        {"de", "C:/T/tool.bin", {"C:/T\\de"}, "C:/T\\de\\tool.bin-mui.dll", {"C:/T\\de"}},
        {"de", "Tool.exe", {}, "", {}},
        {"de", "C:\\T\\.exe", {}, "", {}},
        // A culture that could leave the program folder names no folder.
        {"..\\..\\Windows",
         "C:\\T\\Tool.exe",
         {"C:\\T\\..\\..\\Windows"},
         "C:\\T\\Tool-EXE-mui.dll",
         {}},
        {"*", "C:\\T\\Tool.exe", {"C:\\T\\*"}, "C:\\T\\Tool-EXE-mui.dll", {}},
        {"de/..", "C:\\T\\Tool.exe", {"C:\\T\\de"}, "C:\\T\\Tool-EXE-mui.dll", {}},
    };
    for (const auto& c : cases) {
        FakeFolders folders;
        folders.existing = c.folders;
        const std::string culture = c.culture ? c.culture : "(null)";
        EXPECT_EQ(ResourceModulePath(c.culture, c.exePath, folders.Query()), c.module)
            << culture << " " << c.exePath;
        EXPECT_EQ(folders.asked, c.asked) << culture << " " << c.exePath;
    }
}

TEST(PreferLongPath, LongFormReplacesOnlyWhenItDiffers) {
    EXPECT_EQ(PreferLongPath("C:\\PROGRA~1\\T.EXE", "C:\\Program Files\\T.exe"),
              "C:\\Program Files\\T.exe");
    EXPECT_EQ(PreferLongPath("C:\\TOOLS\\T.EXE", "C:\\Tools\\T.exe"), "C:\\TOOLS\\T.EXE");
    EXPECT_EQ(PreferLongPath("C:\\T\\T.exe", ""), "C:\\T\\T.exe");
}

} // namespace
