// Decides the per-user settings folder from the installation's product settings.
#pragma once
#include <cstddef>
#include <functional>
#include <string>

// The installation's settings file, beside the executable; the per-user copy has the same name.
constexpr const char kProgramSettingsFile[] = "Program Settings.ini";

// Reads one value of a settings file as the platform's profile reader does:
// the value cut to size bytes with its terminator, or def when it is absent.
using SettingReader =
    std::function<std::string(const std::string& file, const char* section, const char* key,
                              const char* def, std::size_t size)>;

// What the folder decision asks of the platform.
struct SettingsFolderPlatform {
    std::function<std::string()> executablePath;    // full path; "" when unknown
    std::function<unsigned()> majorVersion;         // of the running platform
    std::function<bool(const std::string&)> isFile; // exists and is not a directory
    SettingReader readSetting;
    // The user's local application-data folder, without a trailing backslash.
    // Each returns false when its lookup fails.
    std::function<bool(std::string&)> knownLocalAppData;
    std::function<bool(std::string&)> olderLocalAppData;
};

// "P v7.0", or "P" alone without the version, cut to fit size bytes. Returns out.
char* FormatProductFolderName(const char* product, const char* version, bool withVersion, char* out,
                              std::size_t size);

// The product folder name as the installation's settings file names it. Returns out.
char* ProductFolderNameFromFile(const SettingReader& read, const std::string& file, char* out,
                                std::size_t size, bool withVersion);

// Fills out with the per-user settings folder, ending in a backslash; null
// when out is null or size is 0. A folder that would not fit is never cut:
// the next candidate is used instead, down to the program folder (or "").
char* ComposeUserSettingsFolder(const SettingsFolderPlatform& platform, char* out,
                                std::size_t size);
