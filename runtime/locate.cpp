#include "runtime/locate.h"

#include <sys/stat.h>

#include <cstring>

#include "config/path_text.h"
#include "launcher/report.h"
#include "launcher/trace.h"
#include "runtime/registry.h"

namespace {

const char kMakerKey[] = "SOFTWARE\\Halvesta";
const char kMakerValue[] = "JAVA_HOME";
const char kFallbackFolder[] = "Java";
const char kJvmLibrary[] = "\\bin\\client\\jvm.dll";
const char kJavaKey[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The private route; true when it chose the runtime.
bool locatePrivateRuntime(LaunchContext& context) {
    HKEY key = nullptr;
    if (!openMachineKey(kMakerKey, &key)) return false;

    // A relative root would be looked up from wherever the launch was started, which lets a
    // planted runtime load. Like an unreadable value, it counts as the empty text, so the
    // fallback test decides.
    char runtimeRoot[kPathBufferSize] = {};
    if (!readRegistryPath(key, kMakerValue, runtimeRoot, sizeof runtimeRoot) ||
        !isAbsoluteWindowsPath(runtimeRoot))
        runtimeRoot[0] = '\0';
    if (!traceCandidate("maker's value", runtimeRoot, pathExists(runtimeRoot))) {
        const std::string fallback = fallbackRuntimeRoot(context.appDir);
        if (traceCandidate("fallback Java folder", fallback.c_str(), pathExists(fallback.c_str())))
            copyBounded(runtimeRoot, sizeof runtimeRoot, fallback);
    }
    if (!isAbsoluteWindowsPath(runtimeRoot)) return false;

    context.jreBase += runtimeRoot;
    context.jreBase += "\\";
    context.jreBase += privateRuntimeName();
    if (!traceCandidate("private runtime folder", context.jreBase.c_str(), pathExists(context.jreBase.c_str())))
        return false;
    if (!copyBounded(context.javaHome, sizeof context.javaHome, context.jreBase)) return false;

    const std::string library = context.jreBase + kJvmLibrary;
    if (!traceCandidate("jvm.dll", library.c_str(), pathExists(library.c_str()))) return false;
    return copyBounded(context.jvmLibraryPath, sizeof context.jvmLibraryPath, library);
}

void locateRegisteredRuntime(LaunchContext& context) {
    HKEY key = nullptr;
    if (!openMachineKey(kJavaKey, &key))
        reportLaunchError("Can't locate JRE[Java Runtime Environment]", true);
    readRegistryValue(key, "CurrentVersion", context.currentVersion, sizeof context.currentVersion);

    context.jreBase = kJavaKey;
    context.jreBase += "\\";
    context.jreBase += context.currentVersion;
    if (!openMachineKey(context.jreBase.c_str(), &key))
        reportLaunchError("Can't locate JRE[CurrentVersion]", true);
    // Unreadable, javaHome keeps a half-installed private runtime's folder for the class path;
    // that folder's bin is not this runtime's.
    if (readRegistryPath(key, "JavaHome", context.javaHome, sizeof context.javaHome))
        context.runtimeHome = context.javaHome;
    readRegistryPath(key, "RuntimeLib", context.jvmLibraryPath, sizeof context.jvmLibraryPath);
}

}  // namespace

bool isAbsoluteWindowsPath(const char* path) {
    if (!path || !path[0]) return false;
    if (isSeparator(path[0]) && isSeparator(path[1])) return true;  // UNC or device path
    return isDriveLetter(path[0]) && path[1] == ':' && isSeparator(path[2]);
}

const char* privateRuntimeName() { return "jre1.6.0_02"; }

bool pathExists(const char* path) {
    struct _stat status;
    return _stat(path, &status) == 0;
}

bool copyBounded(char* buffer, size_t capacity, const std::string& text) {
    if (text.size() >= capacity) return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

std::string fallbackRuntimeRoot(const std::string& appDir) {
    const size_t separator = lastBackslash(appDir);
    std::string root = separator == std::string::npos ? appDir : appDir.substr(0, separator);
    root += "\\";
    root += kFallbackFolder;
    return root;
}

void locateJavaRuntime(LaunchContext& context) {
    context.jreBase.clear();
    context.privateRuntime = locatePrivateRuntime(context);
    if (context.privateRuntime) context.runtimeHome = context.jreBase;
    if (!context.privateRuntime) locateRegisteredRuntime(context);
    traceLine({"runtime: route chosen: ", context.privateRuntime ? "the private runtime" : "the registered runtime",
               ", jvm.dll \"", context.jvmLibraryPath, "\""});
}
