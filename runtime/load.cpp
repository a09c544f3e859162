#include "runtime/load.h"

#include <windows.h>

#include "launcher/report.h"
#include "runtime/locate.h"

namespace {

const char kCLibrary[] = "\\bin\\msvcr71.dll";

}  // namespace

void restrictLibrarySearch() {
    SetDllDirectoryA("");
    // Where the system offers it, the stricter default order (application folder, system
    // folders) also leaves out the current folder and PATH; older systems lack the call.
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}


std::string runtimeCLibraryPath(const LaunchContext& context) {
    std::string path = context.privateRuntime ? context.jreBase : std::string(context.javaHome);
    if (!isAbsoluteWindowsPath(path.c_str())) return std::string();
    return path + kCLibrary;
}

void loadJavaRuntime(LaunchContext& context) {
    const std::string cLibrary = runtimeCLibraryPath(context);
    if (!cLibrary.empty() && pathExists(cLibrary.c_str())) {
        if (!LoadLibraryA(cLibrary.c_str())) reportLaunchError("Error loading msvcr71.dll", false);
    }

    HMODULE jvm = LoadLibraryA(context.jvmLibraryPath);
    if (!jvm) reportLaunchError("Error loading JVM", true);
    context.jniCreateJavaVM =
        reinterpret_cast<CreateJavaVMFn>(reinterpret_cast<void*>(GetProcAddress(jvm, "JNI_CreateJavaVM")));
}
