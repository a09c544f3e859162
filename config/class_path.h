// The class path and native library path options of the virtual machine.
#pragma once

#include <string>
#include <string_view>

#include "base/launch_context.h"

// Process-wide: the archive scan appends to it at every depth.
extern std::string classPathOption;

// Builds libraryPathOption and classPathOption (with the scan of appDir\lib\).
void assemblePathOptions(LaunchContext& context);

std::string libraryPathOptionText(const std::string& appDir, const std::string& searchPath,
                                  const std::string& quickTimeDir);
std::string classPathHeadText(const std::string& appDir, const std::string& quickTimeDir,
                              const char* javaHome);

// Appends every archive below folder (which ends in a backslash) to classPathOption, depth first in the file system's listing order. A name
// the ANSI code page cannot hold is taken in its short form, else passed over. Links, junctions and mounted folders are followed,
// except into a folder already on the current descent path, so every archive appears once per
// path that reaches it without a cycle.
void scanArchives(const std::string& folder);

// Which folder a path names, whatever route leads there: volume serial number and file index.
struct FolderIdentity {
    unsigned long volume;
    unsigned long long index;
};
bool readFolderIdentity(const std::wstring& folder, FolderIdentity& identity);

// Case-sensitive ".jar" or ".zip" anywhere in the full path.
bool looksLikeArchive(const std::string& path);
bool looksLikeArchive(std::wstring_view path);
