#include "vm/create.h"

#include <windows.h>

#include "base/report.h"
#include "base/trace.h"
#include "base/wide_path.h"
#include "config/class_path.h"

namespace {

const char kCreateFailed[] = "Can't create Java VM ";

// The runtime's JNI_CreateJavaVM, as the invocation API declares it.
typedef jint(JNICALL* CreateJavaVMFn)(JavaVM** vm, void** env, void* args);

// Leaves the working directory alone when the profile folder is unset or does not fit. The wide
// form reaches the true folder whatever the ANSI code page holds.
void enterProfileFolder(const std::wstring& profile) {
    if (profile.empty() || profile.size() >= MAX_PATH) return;
    SetCurrentDirectoryW(profile.c_str());
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
    std::wstring profile;
    const bool hasProfile = readEnvironment(L"USERPROFILE", profile);
    const std::string profileText = ansiPathOrNothing(profile);
    const std::string errorFileOption = errorFileOptionText(hasProfile ? profileText.c_str() : nullptr);
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

    enterProfileFolder(profile);

    // A runtime library without the entry point cannot start a machine; never call null.
    if (!context.jniCreateJavaVM) reportLaunchError(kCreateFailed, true);
    JavaVmSession session;
    void* env = nullptr;
    const auto create = reinterpret_cast<CreateJavaVMFn>(reinterpret_cast<void*>(context.jniCreateJavaVM));
    const jint result = create(&session.vm, &env, &initArgs);
    traceNumber("vm: JNI_CreateJavaVM returned ", result);
    if (result < 0) reportLaunchError(kCreateFailed, true);
    session.env = static_cast<JNIEnv*>(env);
    return session;
}
