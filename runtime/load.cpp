#include "runtime/load.h"

#include <windows.h>

#include "base/report.h"
#include "base/trace.h"
#include "runtime/locate.h"

namespace {

const char kBinFolder[] = "\\bin";
const char kOldCLibrary[] = "\\msvcr71.dll";
// The C libraries later runtimes build jvm.dll against, oldest first: msvcr100 (Java 7 and 8),
// msvcr120 (9 and 10), vcruntime140 and msvcp140 (11 and later; msvcp140 needs vcruntime140).
const char* const kNewerCLibraries[] = {"\\msvcr100.dll", "\\msvcr120.dll", "\\vcruntime140.dll", "\\msvcp140.dll"};

// The system folder, which the search holds anyway, in the place the current folder would
// otherwise take.
void searchSystemFolderInsteadOfCurrent() {
    char systemDir[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(systemDir, MAX_PATH);
    SetDllDirectoryA(length > 0 && length < MAX_PATH ? systemDir : "");
}

// The bin folder of the runtime the route chose, or empty when none should be tried. Only an
// absolute path qualifies, so nothing is ever loaded relative to the folder the launch was
// started from.
std::string runtimeBinFolder(const LaunchContext& context) {
    if (!isAbsoluteWindowsPath(context.runtimeHome.c_str())) return std::string();
    return context.runtimeHome + kBinFolder;
}

// A C library by its full path, with the loader's altered search order: what it imports in
// turn (the api-ms-win-* files and ucrtbase.dll a later runtime ships on older Windows) is
// looked for in bin first, in the application folder's place. Nothing else looks in bin, so a
// file there named like a system library never stands in for the system's own elsewhere.
HMODULE loadCLibrary(const std::string& path) {
    return traceLoad(path.c_str(), LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace

void restrictLibrarySearch() {
    // Only the current folder leaves the search. PATH must stay: the application's native
    // libraries, loaded later by full path, may find their own dependencies only there. Naming
    // the system folder takes the current folder's place on every loader; not all of them
    // honour the empty text.
    searchSystemFolderInsteadOfCurrent();
}

void loadJavaRuntime(LaunchContext& context) {
    const std::string bin = runtimeBinFolder(context);
    const std::string oldCLibrary = bin + kOldCLibrary;
    if (!bin.empty() && traceCandidate("C library", oldCLibrary.c_str(), pathExists(oldCLibrary.c_str()))) {
        if (!loadCLibrary(oldCLibrary)) reportLaunchError("Error loading msvcr71.dll", false);
    }

    // Later runtimes' jvm.dll imports its C library by name too; it lies in bin, which is not
    // jvm.dll's own folder and not in the search: each one present is loaded by its full path
    // first. jvm.dll, and the libraries the runtime itself loads from bin by full path later,
    // then find it loaded. One that does not load is not reported: the load of jvm.dll then
    // says what went wrong.
    if (!bin.empty()) {
        for (const char* name : kNewerCLibraries) {
            const std::string library = bin + name;
            if (pathExists(library.c_str())) loadCLibrary(library);
        }
    }

    // Only an absolute path: a relative one would be looked up from wherever the launch started.
    // What jvm.dll imports besides its C library comes from the ordinary search, which starts in
    // the application folder: a C library shipped there still serves a runtime whose bin has none.
    HMODULE jvm = isAbsoluteWindowsPath(context.jvmLibraryPath)
                      ? traceLoad(context.jvmLibraryPath, LoadLibraryA(context.jvmLibraryPath))
                      : nullptr;
    if (!jvm) reportLaunchError("Error loading JVM", true);
    context.jniCreateJavaVM =
        reinterpret_cast<CreateJavaVMFn>(reinterpret_cast<void*>(GetProcAddress(jvm, "JNI_CreateJavaVM")));
    traceLine({"load: JNI_CreateJavaVM ", context.jniCreateJavaVM ? "found" : "missing"});
}
