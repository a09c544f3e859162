// The application folder: the folder of the executable's own path.
#pragma once

#include <string>

// The folder of modulePath: the text before its last backslash. A path with no backslash (it
// could not be read) gives currentDir instead, without a trailing backslash. Cut in the wide
// form, where no character's second half is a backslash.
std::wstring appDirOf(const std::wstring& modulePath, const std::wstring& currentDir);

// Reads the executable's path; shows the system's error text when the read fails.
std::string readAppDir();
