// Brings the chosen runtime's libraries into the process.
#pragma once

#include "launcher/launch_context.h"

// The folder of the runtime's C libraries, or empty when none should be tried: bin under the
// private runtime folder, or under the registered Java home. Only absolute paths qualify, so
// nothing is ever loaded relative to the folder the launch was started from.
std::string runtimeBinFolder(const LaunchContext& context);

// Takes the current folder out of the library search order, so a library loaded by name (one
// the runtime itself needs) never comes from the folder the launch was started from. PATH
// stays in the search.
void restrictLibrarySearch();

// Preloads the runtime's C libraries from its bin folder, loads jvm.dll (from an absolute path
// only) and resolves JNI_CreateJavaVM; a jvm.dll that does not load ends the launch.
void loadJavaRuntime(LaunchContext& context);
