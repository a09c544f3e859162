// The values a launch accumulates, phase by phase. Each field is written by one phase and
// read by later ones; nothing in it is released before the process ends.
#pragma once

#include <windows.h>

#include <string>

// Capacities of the fixed buffers, terminator included.
constexpr size_t kPathBufferSize = 1024;
constexpr size_t kVersionBufferSize = 80;

struct LaunchContext {
    std::string appDir;                          // executable's folder, no trailing backslash
    std::string jreBase;                         // private runtime folder, or the version key path
    bool privateRuntime = false;                 // which route chose the runtime
    std::string runtimeHome;                     // the chosen runtime's folder (its bin holds its C
                                                 // libraries); empty when JavaHome is unreadable
    char javaHome[kPathBufferSize] = {};
    char jvmLibraryPath[kPathBufferSize] = {};
    char currentVersion[kVersionBufferSize] = {};
    FARPROC jniCreateJavaVM = nullptr;           // the runtime's JNI_CreateJavaVM, as the loader
                                                 // hands it out; only vm/ calls it, by its type
    std::string searchPath;
    std::string quickTimeDir;
    std::string policyPath;                      // escaped in place once the file is written
    std::string securityManagerOption;
    std::string securityPolicyOption;
    std::string libraryPathOption;
};
