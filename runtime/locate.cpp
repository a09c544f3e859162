#include "runtime/locate.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

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

// Installers write JavaHome with a trailing backslash (an MSI folder); no path built from it may
// hold two in a row. A drive's root keeps its own.
void cutTrailingBackslashes(char* path) {
    size_t length = lengthWithoutTrailingBackslashes(path);
    if (length == 2 && path[1] == ':' && path[2] == '\\') length = 3;
    path[length] = '\0';
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
    if (readRegistryPath(key, "JavaHome", context.javaHome, sizeof context.javaHome)) {
        cutTrailingBackslashes(context.javaHome);
        context.runtimeHome = context.javaHome;
    }
    readRegistryPath(key, "RuntimeLib", context.jvmLibraryPath, sizeof context.jvmLibraryPath);
    if (!isAbsoluteWindowsPath(context.jvmLibraryPath) ||
        !traceCandidate("RuntimeLib", context.jvmLibraryPath, pathExists(context.jvmLibraryPath))) {
        passOver(kJavaKey, "its RuntimeLib names no file");
        return ClassicKey::versionKeyRead;
    }
    return ClassicKey::runtime;
}

// A runtime a version key names, read aside so that a key passed over changes nothing.
struct RegisteredRuntime {
    char version[kVersionBufferSize] = {};
    char javaHome[kPathBufferSize] = {};
    char jvmLibrary[kPathBufferSize] = {};
};

// keyPath\version, read by its key's rules: the classic key's RuntimeLib must name jvm.dll; the
// later keys' JavaHome must be an absolute path, and without RuntimeLib jvm.dll is looked for in
// its bin\client, then bin\server. True when the key names a jvm.dll that exists.
bool readVersionKey(const char* keyPath, const std::string& version, bool classic, RegisteredRuntime& found) {
    found = RegisteredRuntime();
    if (!copyBounded(found.version, sizeof found.version, version)) return passOver(keyPath, "a version name too long");
    HKEY key = nullptr;
    const std::string versionKey = std::string(keyPath) + "\\" + version;
    if (!openMachineKey(versionKey.c_str(), &key)) return passOver(keyPath, "the version key cannot be opened");
    if (readRegistryPath(key, "JavaHome", found.javaHome, sizeof found.javaHome) && isAbsoluteWindowsPath(found.javaHome))
        cutTrailingBackslashes(found.javaHome);
    else if (classic)
        found.javaHome[0] = '\0';
    else
        return passOver(keyPath, "no JavaHome (missing, unreadable or not an absolute path)");

    if (readRegistryPath(key, "RuntimeLib", found.jvmLibrary, sizeof found.jvmLibrary) && found.jvmLibrary[0]) {
        if (isAbsoluteWindowsPath(found.jvmLibrary) &&
            traceCandidate("RuntimeLib", found.jvmLibrary, pathExists(found.jvmLibrary)))
            return true;
        return passOver(keyPath, "its RuntimeLib names no file");
    }
    if (classic) return passOver(keyPath, "no RuntimeLib");
    for (const char* library : {kJvmLibrary, kServerJvmLibrary}) {
        const std::string path = found.javaHome + std::string(library);
        if (traceCandidate("jvm.dll", path.c_str(), pathExists(path.c_str())) &&
            copyBounded(found.jvmLibrary, sizeof found.jvmLibrary, path))
            return true;
    }
    return passOver(keyPath, "no RuntimeLib, and no jvm.dll in JavaHome's bin\\client or bin\\server");
}

// Installers leave keys whose CurrentVersion names nothing: an update within a major version
// deletes it and leaves the version subkeys, an uninstall never restores it. Then the highest
// version among the subkeys whose jvm.dll exists serves; the one CurrentVersion named was tried.
bool readHighestVersion(const char* keyPath, bool classic, const std::string& tried, RegisteredRuntime& found) {
    HKEY key = nullptr;
    if (!openMachineKey(keyPath, &key)) return false;
    std::vector<std::string> versions;
    for (const std::string& name : subkeyNames(key))
        if (name[0] >= '0' && name[0] <= '9' && name != tried) versions.push_back(name);
    std::sort(versions.begin(), versions.end(),
              [](const std::string& a, const std::string& b) { return javaVersionBefore(b, a); });
    for (const std::string& version : versions) {
        traceLine({"runtime: registered key \"", keyPath, "\": version subkey \"", version, "\""});
        if (readVersionKey(keyPath, version, classic, found)) return true;
    }
    return false;
}

// Java 9 and later keys: CurrentVersion's subkey, else the highest version.
bool readLaterKey(const char* keyPath, RegisteredRuntime& found) {
    HKEY key = nullptr;
    if (!openMachineKey(keyPath, &key)) return passOver(keyPath, "it cannot be opened");
    char version[kVersionBufferSize] = {};
    if (!readRegistryValue(key, "CurrentVersion", version, sizeof version) || !version[0])
        passOver(keyPath, "no CurrentVersion (missing, unreadable or empty)");
    else if (readVersionKey(keyPath, version, false, found))
        return true;
    return readHighestVersion(keyPath, false, version, found);
}

void takeRuntime(LaunchContext& context, const char* keyPath, const RegisteredRuntime& found) {
    traceLine({"runtime: registered key \"", keyPath, "\": taken, version \"", found.version, "\""});
    context.jreBase = std::string(keyPath) + "\\" + found.version;
    std::memcpy(context.currentVersion, found.version, sizeof context.currentVersion);
    std::memcpy(context.javaHome, found.javaHome, sizeof context.javaHome);
    context.runtimeHome = found.javaHome;
    std::memcpy(context.jvmLibraryPath, found.jvmLibrary, sizeof context.jvmLibraryPath);
}

// Only when the trace is on: a 32-bit program sees only the 32-bit view of the registry, so a
// runtime that 64-bit Windows holds only in its 64-bit view is never found, and whoever helps
// the user needs to know that one is there.
void traceSixtyFourBitRuntimes() {
    BOOL wow64 = FALSE;
    if (!traceEnabled() || !IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) return;
    for (const char* keyPath : {kJavaKey, kLaterJavaKeys[0], kLaterJavaKeys[1]}) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) continue;
        for (const std::string& version : subkeyNames(key)) {
            wchar_t home[kPathBufferSize] = {};
            DWORD size = sizeof home;
            if (RegGetValueW(key, std::wstring(version.begin(), version.end()).c_str(), L"JavaHome",
                             RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, home, &size) != ERROR_SUCCESS)
                continue;
            const std::string what = "runtime: in the 64-bit view, HKLM\\" + std::string(keyPath) + "\\" + version + ", JavaHome ";
            tracePath(what.c_str(), home, ": a 64-bit runtime, which this 32-bit program cannot load");
        }
        RegCloseKey(key);
    }
}

// The classic key first, then the later ones; each by its CurrentVersion, else its highest
// version. When none names a runtime, the launch goes on as the classic key alone would have it.
void locateRegisteredRuntime(LaunchContext& context) {
    const ClassicKey classic = readClassicKey(context);
    if (classic == ClassicKey::runtime) return;

    RegisteredRuntime found;
    if (classic != ClassicKey::missing && readHighestVersion(kJavaKey, true, context.currentVersion, found)) {
        takeRuntime(context, kJavaKey, found);
        return;
    }
    for (const char* keyPath : kLaterJavaKeys) {
        if (!readLaterKey(keyPath, found)) continue;
        takeRuntime(context, keyPath, found);
        return;
    }

    traceSixtyFourBitRuntimes();
    if (classic == ClassicKey::missing) reportLaunchError("Can't locate JRE[Java Runtime Environment]", true);
    if (classic == ClassicKey::versionKeyMissing) reportLaunchError("Can't locate JRE[CurrentVersion]", true);
}

// The numbers of a version name, the old scheme's "1." dropped ("1.8.0_392" is 8, 0, 392).
std::vector<unsigned long> versionNumbers(const std::string& name) {
    std::vector<unsigned long> numbers;
    for (size_t at = 0; at < name.size();) {
        if (name[at] < '0' || name[at] > '9') {
            ++at;
            continue;
        }
        unsigned long number = 0;
        for (; at < name.size() && name[at] >= '0' && name[at] <= '9'; ++at)
            number = number > 99999999 ? number : number * 10 + (name[at] - '0');
        numbers.push_back(number);
    }
    if (numbers.size() > 1 && numbers[0] == 1) numbers.erase(numbers.begin());
    return numbers;
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

bool javaVersionBefore(const std::string& a, const std::string& b) {
    return versionNumbers(a) < versionNumbers(b);
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
