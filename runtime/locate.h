// Chooses the Java runtime: the private one under the maker's folder, else the registered one.
#pragma once

#include "base/launch_context.h"

const char* privateRuntimeName();

// A path with a drive and a root ("C:\...") or a UNC path: one that does not depend on the
// current drive or folder.
bool isAbsoluteWindowsPath(const char* path);

// True when something exists at path (file or folder alike).
bool pathExists(const char* path);

// Fills jreBase, javaHome, runtimeHome, jvmLibraryPath and currentVersion; ends the launch
// with a fatal report when no runtime can be found.
void locateJavaRuntime(LaunchContext& context);

// Whether version name a comes before b by its numbers: "1.8.0_392" (the old scheme's 1.8 is 8)
// before "11.0.21" before "17" before "17.0.15.6".
bool javaVersionBefore(const std::string& a, const std::string& b);

// appDir cut before its last backslash (all of it when there is none), then "\Java".
std::string fallbackRuntimeRoot(const std::string& appDir);

// Copies text into a fixed buffer when it fits with its terminator; otherwise leaves the
// buffer untouched and returns false.
bool copyBounded(char* buffer, size_t capacity, const std::string& text);
