#include "vm/invoke.h"

#include <windows.h>
#include <shellapi.h>

#include "base/report.h"
#include "base/trace.h"

namespace {

const char kMainClass[] = "com/qzm/korvo/Korvo";
const char kMainName[] = "main";
const char kMainSignature[] = "([Ljava/lang/String;)V";
const char kStringClass[] = "java/lang/String";

// Describes a pending exception, then lets the machine end the process with message.
void failThroughVm(JNIEnv* env, const char* message) {
    if (env->ExceptionOccurred()) env->ExceptionDescribe();
    traceLine({"vm: FatalError \"", message, "\": the runtime ends the process with its own exit code"});
    env->FatalError(message);
}

// Each argument becomes a String from its UTF-16 text, so every character arrives as typed.
jobjectArray buildArgumentArray(JNIEnv* env, jclass stringClass, LPWSTR* argv, int argc) {
    const jsize length = argv && argc > 1 ? argc - 1 : 0;
    jobjectArray array = env->NewObjectArray(length, stringClass, nullptr);
    for (jsize i = 0; i < length; ++i) {
        const wchar_t* text = argv[i + 1];
        const jstring value = env->NewString(reinterpret_cast<const jchar*>(text), lstrlenW(text));
        env->SetObjectArrayElement(array, i, value);
    }
    return array;
}

}  // namespace

void invokeMain(const JavaVmSession& session) {
    JNIEnv* env = session.env;
    jclass mainClass = env->FindClass(kMainClass);
    traceLine({"main class ", kMainClass, mainClass ? ": found" : ": not found"});
    if (!mainClass) reportLaunchError("Failed to find main class", true);

    jmethodID mainMethod = env->GetStaticMethodID(mainClass, kMainName, kMainSignature);
    if (!mainMethod) failThroughVm(env, "Failed to find jmethodID of 'main'");

    jclass stringClass = env->FindClass(kStringClass);
    if (!stringClass) failThroughVm(env, "Failed to find java/lang/String");

    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    jobjectArray arguments = buildArgumentArray(env, stringClass, argv, argc);

    // The table's own variadic entry, not the C++ wrapper, which goes through the va_list one.
    env->functions->CallStaticVoidMethod(env, mainClass, mainMethod, arguments);
    if (traceEnabled()) traceLine({"main ", env->ExceptionOccurred() ? "ended in an exception" : "returned"});
    tracePhase("main");
    if (env->ExceptionOccurred()) env->ExceptionDescribe();

    const jint destroyed = session.vm->DestroyJavaVM();
    traceNumber("vm: DestroyJavaVM returned ", destroyed);
    tracePhase("DestroyJavaVM (waits for the application's other threads)");
    LocalFree(argv);
}
