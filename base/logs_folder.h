// The profile's Logs folder, where the session log and the launch trace are written.
#pragma once

#include <string>

// Folder and file of the session log under a profile folder; false when the profile is
// unusable (unset or empty would put the log at a drive root) or the path would not fit.
bool sessionLogPaths(const std::wstring& userProfile, std::wstring& logsDir, std::wstring& logFile);
