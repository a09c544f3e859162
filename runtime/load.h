// Brings the chosen runtime's libraries into the process.
#pragma once

#include "launcher/launch_context.h"

// The runtime's C library to preload, or empty when none should be tried: the private route
// uses its runtime folder, the registered route the registered Java home. Only absolute paths
// qualify, so nothing is ever loaded relative to the folder the launch was started from.
std::string runtimeCLibraryPath(const LaunchContext& context);

// Takes the current folder out of the library search order, so a library loaded by name (one
// the runtime itself needs) never comes from the folder the launch was started from. PATH
// stays in the search.
void restrictLibrarySearch();

// Preloads the C library, loads jvm.dll (from an absolute path only) and resolves
// JNI_CreateJavaVM; a library that does not load ends the launch.
void loadJavaRuntime(LaunchContext& context);
