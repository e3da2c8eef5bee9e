// Naming and search rules for language resource modules beside the executable.
#include "app/ModulePath.h"

namespace {

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// A culture names a folder beside the executable; anything that could step
// outside it (separators, "..", wildcards, drive colons) names no folder.
bool IsPlainCultureName(const std::string& culture) {
    for (char c : culture) {
        const bool letterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '-' && c != '_')
            return false;
    }
    return true;
}

} // namespace

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    }
    return true;
}

bool IsExecutableCulture(const char* culture) {
    return culture && EqualsIgnoreCase(culture, "en-US");
}

std::string PreferLongPath(const std::string& path, const std::string& longPath) {
    if (longPath.empty() || EqualsIgnoreCase(path, longPath))
        return path;
    return longPath;
}

std::string ResourceModuleFileName(const std::string& exeFileName) {
    std::string name = exeFileName;
    std::string tag;
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        const std::string extension = name.substr(dot + 1);
        for (const char* known : {"dll", "exe", "ocx"}) {
            if (EqualsIgnoreCase(extension, known)) {
                for (char c : extension)
                    tag += AsciiUpper(c);
                name.erase(dot);
                break;
            }
        }
    }
    if (name.empty())
        return "";
    if (!tag.empty())
        name += "-" + tag;
    return name + "-mui.dll";
}

std::string FindCultureFolder(const std::string& programFolder, const std::string& culture,
                              const DirectoryQuery& isDirectory) {
    if (!IsPlainCultureName(culture))
        return "";
    std::string candidate = culture;
    while (!candidate.empty()) {
        if (isDirectory(programFolder + candidate))
            return candidate;
        const std::size_t dash = candidate.rfind('-');
        candidate.erase(dash == std::string::npos ? 0 : dash);
    }
    return "";
}

std::string ResourceModulePath(const char* culture, const std::string& exePath,
                               const DirectoryQuery& isDirectory) {
    if (IsExecutableCulture(culture))
        return "";
    std::size_t separator = exePath.rfind('\\');
    if (separator == std::string::npos)
        separator = exePath.rfind('/');
    if (separator == std::string::npos)
        return "";
    const std::string programFolder = exePath.substr(0, separator) + '\\';
    const std::string moduleName = ResourceModuleFileName(exePath.substr(separator + 1));
    if (moduleName.empty())
        return "";
    const std::string folder =
        FindCultureFolder(programFolder, culture ? culture : "", isDirectory);
    return programFolder + (folder.empty() ? "" : folder + '\\') + moduleName;
}
