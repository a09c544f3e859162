#include "runtime/locate.h"

#include <sys/stat.h>

#include <cstring>

#include "base/registry.h"
#include "base/report.h"
#include "base/trace.h"
#include "config/path_text.h"

namespace {

const char kMakerKey[] = "SOFTWARE\\Halvesta";
const char kMakerValue[] = "JAVA_HOME";
const char kFallbackFolder[] = "Java";
const char kJvmLibrary[] = "\\bin\\client\\jvm.dll";
const char kServerJvmLibrary[] = "\\bin\\server\\jvm.dll";
const char kJavaKey[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
// Where Java 9 and later register instead, tried in this order when the key above names no
// runtime.
const char* const kLaterJavaKeys[] = {"SOFTWARE\\JavaSoft\\JRE", "SOFTWARE\\JavaSoft\\JDK"};

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

// How far the classic key got; its state decides the message when no key names a runtime.
enum class ClassicKey { missing, versionKeyMissing, versionKeyRead, runtime };

bool passOver(const char* key, const char* reason) {
    traceLine({"runtime: registered key \"", key, "\": passed over: ", reason});
    return false;
}

// The classic key, read into the launch context as it always has been. It names a runtime when
// its RuntimeLib is an absolute path that exists.
ClassicKey readClassicKey(LaunchContext& context) {
    HKEY key = nullptr;
    if (!openMachineKey(kJavaKey, &key)) {
        passOver(kJavaKey, "it cannot be opened");
        return ClassicKey::missing;
    }
    readRegistryValue(key, "CurrentVersion", context.currentVersion, sizeof context.currentVersion);

    context.jreBase = kJavaKey;
    context.jreBase += "\\";
    context.jreBase += context.currentVersion;
    if (!openMachineKey(context.jreBase.c_str(), &key)) {
        passOver(kJavaKey, "the key its CurrentVersion names cannot be opened");
        return ClassicKey::versionKeyMissing;
    }
    // Unreadable, javaHome keeps a half-installed private runtime's folder for the class path;
    // that folder's bin is not this runtime's.
    if (readRegistryPath(key, "JavaHome", context.javaHome, sizeof context.javaHome))
        context.runtimeHome = context.javaHome;
    readRegistryPath(key, "RuntimeLib", context.jvmLibraryPath, sizeof context.jvmLibraryPath);
    if (!isAbsoluteWindowsPath(context.jvmLibraryPath) ||
        !traceCandidate("RuntimeLib", context.jvmLibraryPath, pathExists(context.jvmLibraryPath))) {
        passOver(kJavaKey, "its RuntimeLib names no file");
        return ClassicKey::versionKeyRead;
    }
    return ClassicKey::runtime;
}

// A runtime a later key names, read aside so that a key passed over changes nothing.
struct LaterRuntime {
    char version[kVersionBufferSize] = {};
    char javaHome[kPathBufferSize] = {};
    char jvmLibrary[kPathBufferSize] = {};
};

// Read as the classic key is; without RuntimeLib, jvm.dll is looked for in JavaHome's
// bin\client, then bin\server. True when the key names a jvm.dll that exists.
bool readLaterKey(const char* keyPath, LaterRuntime& found) {
    HKEY key = nullptr;
    if (!openMachineKey(keyPath, &key)) return passOver(keyPath, "it cannot be opened");
    if (!readRegistryValue(key, "CurrentVersion", found.version, sizeof found.version) || !found.version[0])
        return passOver(keyPath, "no CurrentVersion (missing, unreadable or empty)");
    const std::string versionKey = std::string(keyPath) + "\\" + found.version;
    if (!openMachineKey(versionKey.c_str(), &key))
        return passOver(keyPath, "the key its CurrentVersion names cannot be opened");
    if (!readRegistryPath(key, "JavaHome", found.javaHome, sizeof found.javaHome) ||
        !isAbsoluteWindowsPath(found.javaHome))
        return passOver(keyPath, "no JavaHome (missing, unreadable or not an absolute path)");

    if (readRegistryPath(key, "RuntimeLib", found.jvmLibrary, sizeof found.jvmLibrary) && found.jvmLibrary[0]) {
        if (isAbsoluteWindowsPath(found.jvmLibrary) &&
            traceCandidate("RuntimeLib", found.jvmLibrary, pathExists(found.jvmLibrary)))
            return true;
        return passOver(keyPath, "its RuntimeLib names no file");
    }
    for (const char* library : {kJvmLibrary, kServerJvmLibrary}) {
        const std::string path = found.javaHome + std::string(library);
        if (traceCandidate("jvm.dll", path.c_str(), pathExists(path.c_str())) &&
            copyBounded(found.jvmLibrary, sizeof found.jvmLibrary, path))
            return true;
    }
    return passOver(keyPath, "no RuntimeLib, and no jvm.dll in JavaHome's bin\\client or bin\\server");
}

// The classic key first. Only when it names no runtime are the later keys tried; when none of
// them names one either, the launch goes on as the classic key alone would have it.
void locateRegisteredRuntime(LaunchContext& context) {
    const ClassicKey classic = readClassicKey(context);
    if (classic == ClassicKey::runtime) return;

    for (const char* keyPath : kLaterJavaKeys) {
        LaterRuntime found;
        if (!readLaterKey(keyPath, found)) continue;
        traceLine({"runtime: registered key \"", keyPath, "\": taken"});
        context.jreBase = std::string(keyPath) + "\\" + found.version;
        std::memcpy(context.currentVersion, found.version, sizeof context.currentVersion);
        std::memcpy(context.javaHome, found.javaHome, sizeof context.javaHome);
        context.runtimeHome = found.javaHome;
        std::memcpy(context.jvmLibraryPath, found.jvmLibrary, sizeof context.jvmLibraryPath);
        return;
    }

    if (classic == ClassicKey::missing) reportLaunchError("Can't locate JRE[Java Runtime Environment]", true);
    if (classic == ClassicKey::versionKeyMissing) reportLaunchError("Can't locate JRE[CurrentVersion]", true);
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
