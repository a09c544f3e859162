// The application folder: the folder of the executable's own path.
#pragma once

#include <string>

// The text before the last backslash of modulePath. A path with no backslash (it could not
// be read) gives currentDir instead, without a trailing backslash.
std::string appDirFromModulePath(const char* modulePath, const char* currentDir);

// Reads the executable's path; shows the system's error text when the read fails.
std::string readAppDir();
