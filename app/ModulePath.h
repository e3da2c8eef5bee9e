// Where the language resource module for a culture is looked for.
#pragma once
#include <functional>
#include <string>

// Answers whether a path names an existing directory.
using DirectoryQuery = std::function<bool(const std::string& path)>;

// ASCII comparison without regard to case, as culture names and extensions are compared.
bool EqualsIgnoreCase(const std::string& a, const std::string& b);

// English (United States) is built into the executable: no module is needed.
bool IsExecutableCulture(const char* culture);

// The executable path to derive names from: the long form when there is one
// that differs from path other than in case, else path itself.
std::string PreferLongPath(const std::string& path, const std::string& longPath);

// The module's file name for an executable's file name: "Tool.exe" gives
// "Tool-EXE-mui.dll", "tool.bin" gives "tool.bin-mui.dll"; "" when no name is left.
std::string ResourceModuleFileName(const std::string& exeFileName);

// The culture folder under programFolder (ends in a separator) to take the module
// from: the culture, cut at its last "-" until a folder exists; "" when none does.
std::string FindCultureFolder(const std::string& programFolder, const std::string& culture,
                              const DirectoryQuery& isDirectory);

// Full path of the module for culture beside the executable at exePath;
// "" when the executable's own resources serve (en-US, or no usable path).
std::string ResourceModulePath(const char* culture, const std::string& exePath,
                               const DirectoryQuery& isDirectory);
