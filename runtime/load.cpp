#include "runtime/load.h"

#include <windows.h>

#include "base/report.h"
#include "base/trace.h"
#include "runtime/locate.h"

namespace {

const char kBinFolder[] = "\\bin";
const char kOldCLibrary[] = "\\msvcr71.dll";
const char kUniversalCRuntime[] = "\\ucrtbase.dll";
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

// A library by its full path, with the loader's altered search order: what it imports in turn
// is looked for in its own folder first, in the application folder's place.
HMODULE loadByFullPath(const std::string& path) {
    return traceLoad(path.c_str(), LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

// Later runtimes ship the universal C runtime in bin (ucrtbase.dll and its api-ms-win-*
// forwarders) for Windows 7 and 8.1 without it. Where the system has its own, that one is loaded
// first, so a library asking for it by name gets the system's: never a second C runtime.
void preferSystemCRuntime(const std::string& bin) {
    const std::string shipped = bin + kUniversalCRuntime;
    if (!pathExists(shipped.c_str())) return;
    char systemDir[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(systemDir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const std::string own = systemDir + std::string(kUniversalCRuntime);
    if (traceCandidate("system C runtime", own.c_str(), pathExists(own.c_str()))) loadByFullPath(own);
}

// The runtime's own launcher lives in bin, where every library the runtime loads finds what bin
// ships. Here bin takes that place for the rest of the process, as the DLL directory: a library
// loaded by name is looked for in the application folder, bin, the system folders, then PATH.
// The folder the launch was started from stays out.
void searchRuntimeBin(const std::string& bin) {
    const BOOL set = SetDllDirectoryA(bin.c_str());
    traceLine({"load: library search: ", set ? "bin is the DLL directory \"" : "bin could not be the DLL directory \"",
               bin, "\""});
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
    if (!bin.empty()) preferSystemCRuntime(bin);
    const std::string oldCLibrary = bin + kOldCLibrary;
    if (!bin.empty() && traceCandidate("C library", oldCLibrary.c_str(), pathExists(oldCLibrary.c_str()))) {
        if (!loadByFullPath(oldCLibrary)) reportLaunchError("Error loading msvcr71.dll", false);
    }

    // Later runtimes' jvm.dll imports its C library by name too. Each one present in bin is
    // loaded by its full path first, so bin's copy wins over one in the application folder, which
    // the search asks first. One that does not load is not reported: the load of jvm.dll then
    // says what went wrong.
    if (!bin.empty()) {
        for (const char* name : kNewerCLibraries) {
            const std::string library = bin + name;
            if (pathExists(library.c_str())) loadByFullPath(library);
        }
        searchRuntimeBin(bin);
    }

    // Only an absolute path: a relative one would be looked up from wherever the launch started.
    // A C library shipped in the application folder still serves a runtime whose bin has none.
    HMODULE jvm = isAbsoluteWindowsPath(context.jvmLibraryPath)
                      ? traceLoad(context.jvmLibraryPath, LoadLibraryA(context.jvmLibraryPath))
                      : nullptr;
    if (!jvm) reportLaunchError("Error loading JVM", true);
    context.jniCreateJavaVM = GetProcAddress(jvm, "JNI_CreateJavaVM");
    traceLine({"load: JNI_CreateJavaVM ", context.jniCreateJavaVM ? "found" : "missing"});
}
