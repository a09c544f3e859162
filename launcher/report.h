// The launch's two error channels: the session log (with a box for fatal errors) and the
// box that shows the system's text for the last Windows error.
#pragma once

#include <ctime>
#include <string>

// Ends the process with exit code 1 when fatal; returns otherwise.
void reportLaunchError(const char* message, bool fatal);
void showLastError();

// The clock the session log's time stamp is read from: 100-nanosecond intervals since
// 1601-01-01 UTC, as the system keeps them. Tests may put another date in its place.
extern unsigned long long (*sessionLogClock)();
// The local date and time of such a count, through the system's time zone conversion; all
// zero when the system cannot convert it.
std::tm localTimeFields(unsigned long long utcTicks);

// Text helpers, kept free of Win32 so they can be checked directly.
std::string composeLaunchErrorText(const char* message, bool fatal);
// "Www Mmm dd hh:mm:ss yyyy" (24 characters), the asctime layout with a zero-padded day.
std::string formatTimeStamp(const std::tm& when);
std::string formatLogRecord(const std::string& timeStamp, const std::string& composedText);
// Folder and file of the session log under a profile folder; false when the profile is
// unusable (unset or empty would put the log at a drive root) or the path would not fit.
bool sessionLogPaths(const std::wstring& userProfile, std::wstring& logsDir, std::wstring& logFile);
// Box text for a Windows error code the system has no message for.
std::string unknownErrorText(unsigned long code);
