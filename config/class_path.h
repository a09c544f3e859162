// The class path and native library path options of the virtual machine.
#pragma once

#include <string>

#include "launcher/launch_context.h"

// Process-wide: the archive scan appends to it at every depth.
extern std::string classPathOption;

// Builds libraryPathOption and classPathOption (with the scan of appDir\lib\).
void assemblePathOptions(LaunchContext& context);

std::string libraryPathOptionText(const std::string& appDir, const std::string& searchPath,
                                  const std::string& quickTimeDir);
std::string classPathHeadText(const std::string& appDir, const std::string& quickTimeDir,
                              const char* javaHome);

// Appends every archive below folder (which ends in a backslash) to classPathOption, depth
// first in the file system's listing order.
void scanArchives(std::string folder);

// Case-sensitive ".jar" or ".zip" anywhere in the full path.
bool looksLikeArchive(const std::string& path);
