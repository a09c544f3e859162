// The launch's two error channels: the session log (with a box for fatal errors) and the
// box that shows the system's text for the last Windows error.
#pragma once

#include <string>

// Ends the process with exit code 1 when fatal; returns otherwise.
void reportLaunchError(const char* message, bool fatal);
void showLastError();

// Text helpers, kept free of Win32 so they can be checked directly.
std::string composeLaunchErrorText(const char* message, bool fatal);
std::string formatLogRecord(const std::string& timeStamp, const std::string& composedText);
// Box text for a Windows error code the system has no message for.
std::string unknownErrorText(unsigned long code);
