#include "vm/create.h"

#include <windows.h>

#include <cstdlib>

#include "config/class_path.h"
#include "launcher/report.h"
#include "launcher/trace.h"

namespace {

const char kCreateFailed[] = "Can't create Java VM ";

// Leaves the working directory alone when the profile folder is unset or does not fit.
void enterProfileFolder() {
    char profile[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    SetCurrentDirectoryA(profile);
}

}  // namespace

std::string errorFileOptionText(const char* userProfile) {
    std::string option = "-XX:ErrorFile=";
    if (userProfile) option += userProfile;
    option += "\\Logs\\";
    option += "Korvo.exe";
    option += "_error%p.log";
    return option;
}

JavaVmSession createJavaVM(const LaunchContext& context) {
    const std::string errorFileOption = errorFileOptionText(std::getenv("USERPROFILE"));
    const std::string initialHeapOption = "-Xms256m";
    const std::string maximumHeapOption = "-Xmx512m";

    // The records point at the texts, which outlive the creation call.
    const std::string* texts[kVmOptionCount] = {
        &classPathOption,           &context.libraryPathOption, &context.securityManagerOption,
        &context.securityPolicyOption, &errorFileOption,        &initialHeapOption,
        &maximumHeapOption,
    };
    JavaVMOption options[kVmOptionCount];
    for (int i = 0; i < kVmOptionCount; ++i) {
        options[i].optionString = const_cast<char*>(texts[i]->c_str());
        options[i].extraInfo = nullptr;
        traceOption(i, *texts[i]);
    }
    JavaVMInitArgs initArgs;
    initArgs.version = JNI_VERSION_1_4;
    initArgs.nOptions = kVmOptionCount;
    initArgs.options = options;
    initArgs.ignoreUnrecognized = JNI_TRUE;

    enterProfileFolder();

    // A runtime library without the entry point cannot start a machine; never call null.
    if (!context.jniCreateJavaVM) reportLaunchError(kCreateFailed, true);
    JavaVmSession session;
    void* env = nullptr;
    const jint result = context.jniCreateJavaVM(&session.vm, &env, &initArgs);
    traceNumber("vm: JNI_CreateJavaVM returned ", result);
    if (result < 0) reportLaunchError(kCreateFailed, true);
    session.env = static_cast<JNIEnv*>(env);
    return session;
}
