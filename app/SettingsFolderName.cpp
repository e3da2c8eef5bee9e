// Per-user settings folder: product folder name and the order of folder lookups.
#include "app/SettingsFolderName.h"
#include "app/CommandLine.h"
#include <cstring>

namespace {

// The company whose products keep one settings folder across versions.
constexpr int kVersionlessCompany = 40;

// Platforms up to this major version have no per-user folders.
constexpr unsigned kLastSharedFolderVersion = 4;

// Sizes the installation's values are read into.
constexpr std::size_t kCompanyIdSize = 128;
constexpr std::size_t kProductNameSize = 256;
constexpr std::size_t kVersionSize = 128;
constexpr std::size_t kProductFolderSize = 128;

// Copies text, cut to size bytes with its terminator (size > 0).
void CopyCut(const std::string& text, char* out, std::size_t size) {
    const std::size_t n = text.size() < size ? text.size() : size - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

// Copies text only when it fits whole; a cut path would name another folder.
bool CopyWhole(const std::string& text, char* out, std::size_t size) {
    if (text.size() >= size)
        return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

} // namespace

char* FormatProductFolderName(const char* product, const char* version, bool withVersion, char* out,
                              std::size_t size) {
    if (!out || size == 0)
        return out;
    std::string name = product ? product : "";
    if (withVersion) {
        name += " v";
        name += version ? version : "";
    }
    CopyCut(name, out, size);
    return out;
}

char* ProductFolderNameFromFile(const SettingReader& read, const std::string& file, char* out,
                                std::size_t size, bool withVersion) {
    const std::string product = read(file, "OEM", "ProductName", "Korvane", kProductNameSize);
    const std::string version =
        withVersion ? read(file, "Install", "Version", "6.1", kVersionSize) : std::string();
    return FormatProductFolderName(product.c_str(), version.c_str(), withVersion, out, size);
}

char* ComposeUserSettingsFolder(const SettingsFolderPlatform& platform, char* out,
                                std::size_t size) {
    if (!out || size == 0)
        return nullptr;
    out[0] = '\0';

    const std::string exePath = platform.executablePath();
    const std::size_t slash = exePath.rfind('\\');
    if (slash == std::string::npos)
        return out;
    const std::string programFolder = exePath.substr(0, slash + 1);
    if (!CopyWhole(programFolder, out, size))
        return out;

    if (platform.majorVersion() <= kLastSharedFolderVersion)
        return out;

    std::string name;
    const std::string installSettings = programFolder + kProgramSettingsFile;
    if (platform.isFile(installSettings)) {
        const std::string companyId =
            platform.readSetting(installSettings, "OEM", "CompanyID", "0", kCompanyIdSize);
        const bool withVersion = LeadingInteger(companyId) != kVersionlessCompany;
        char productFolder[kProductFolderSize];
        ProductFolderNameFromFile(platform.readSetting, installSettings, productFolder,
                                  sizeof productFolder, withVersion);
        name = std::string(productFolder) + '\\';
    }

    std::string base;
    if (platform.knownLocalAppData(base) && CopyWhole(base + '\\' + name, out, size))
        return out;
    if (platform.olderLocalAppData(base) && CopyWhole(base + '\\' + name, out, size))
        return out;
    return out; // still the program folder
}
