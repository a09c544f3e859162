// The two host values the virtual machine's options need: the search path and the folder of
// QuickTime for Java.
#pragma once

#include <string>

// PATH without its trailing backslashes, double quotes turned into blanks; empty when unset.
std::string readSearchPath();
std::string cleanSearchPath(const char* path);

// "QTExtDir" of the QuickTime key as stored, else ProgramFiles (the system's program files
// folder when that is unusable) + "\QuickTime\QTSystem\".
std::string findQuickTimeDir();
std::string quickTimeFallbackDir(const char* programFiles);
