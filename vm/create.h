// Creates the Java virtual machine inside the launcher's process.
#pragma once

#include <string>

#include <jni.h>

#include "base/launch_context.h"

constexpr int kVmOptionCount = 7;

struct JavaVmSession {
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;  // valid on the main thread only
};

// "-XX:ErrorFile=" + profile + "\Logs\Korvo.exe_error%p.log"; no profile gives "\Logs\...".
std::string errorFileOptionText(const char* userProfile);

// Sets the working directory to the user's profile folder and creates the machine with the
// seven options; a failed creation ends the launch.
JavaVmSession createJavaVM(const LaunchContext& context);
