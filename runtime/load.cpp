#include "runtime/load.h"

#include <windows.h>

#include "launcher/report.h"
#include "launcher/trace.h"
#include "runtime/locate.h"

namespace {

const char kCLibrary[] = "\\bin\\msvcr71.dll";

}  // namespace

void restrictLibrarySearch() {
    // Only the current folder leaves the search. PATH must stay: the application's native
    // libraries, loaded later by full path, may find their own dependencies only there. Naming
    // the system folder, which the search holds anyway, takes the current folder's place on
    // every loader; not all of them honour the empty text.
    char systemDir[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(systemDir, MAX_PATH);
    SetDllDirectoryA(length > 0 && length < MAX_PATH ? systemDir : "");
}


std::string runtimeCLibraryPath(const LaunchContext& context) {
    std::string path = context.privateRuntime ? context.jreBase : std::string(context.javaHome);
    if (!isAbsoluteWindowsPath(path.c_str())) return std::string();
    return path + kCLibrary;
}

void loadJavaRuntime(LaunchContext& context) {
    const std::string cLibrary = runtimeCLibraryPath(context);
    if (!cLibrary.empty() && traceCandidate("C library", cLibrary.c_str(), pathExists(cLibrary.c_str()))) {
        if (!traceLoad(cLibrary.c_str(), LoadLibraryA(cLibrary.c_str())))
            reportLaunchError("Error loading msvcr71.dll", false);
    }

    // Only an absolute path: a relative one would be looked up from wherever the launch started.
    HMODULE jvm = isAbsoluteWindowsPath(context.jvmLibraryPath)
                      ? traceLoad(context.jvmLibraryPath, LoadLibraryA(context.jvmLibraryPath))
                      : nullptr;
    if (!jvm) reportLaunchError("Error loading JVM", true);
    context.jniCreateJavaVM =
        reinterpret_cast<CreateJavaVMFn>(reinterpret_cast<void*>(GetProcAddress(jvm, "JNI_CreateJavaVM")));
    traceLine({"load: JNI_CreateJavaVM ", context.jniCreateJavaVM ? "found" : "missing"});
}
