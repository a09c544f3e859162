// Brings the chosen runtime's libraries into the process.
#pragma once

#include "base/launch_context.h"

// Takes the current folder out of the library search order, so a library loaded by name (one
// the runtime itself needs) never comes from the folder the launch was started from. PATH
// stays in the search.
void restrictLibrarySearch();

// Preloads the runtime's C libraries from its bin folder, makes that folder the DLL directory for
// the rest of the process, loads jvm.dll (from an absolute path only) and resolves
// JNI_CreateJavaVM; a jvm.dll that does not load ends the launch.
void loadJavaRuntime(LaunchContext& context);
