// Hostile input against the real Korvo.exe, one grouped test per source of input: registry
// values, environment variables, file-system shapes, command lines and planted libraries.
// Every launch must end the way the row says (main runs: exit 0; one fatal report: exit 1),
// never crash or hang, leave a clean trace in the stand-in runtime, and write nothing outside
// the places a launch writes to (the policy file, the session log, the stand-in's trace).
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "support/launch_fixture.h"

using namespace harness;

namespace {

const char kPolicyName[] = "Korvo.exe.policy";
const char kLogName[] = "Korvo Session Log.txt";
const char kStandardPath[] = "C:\\windows\\system32;C:\\windows";
const DWORD kLaunchTimeoutMs = 20000;


// ---- text helpers ------------------------------------------------------------------------

// The bytes a text takes in the ANSI code page, the one the launcher's narrow calls use.
std::string ansi(const std::wstring& text) {
    if (text.empty()) return std::string();
    BOOL lossy = FALSE;
    const UINT codePage = GetACP();
    BOOL* lossyFlag = codePage == CP_UTF8 ? nullptr : &lossy;
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int size = WideCharToMultiByte(CP_ACP, flags, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, lossyFlag);
    std::string bytes(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_ACP, flags, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                            lossyFlag);
    if (size <= 0 || lossy) ADD_FAILURE() << "not representable in the ANSI code page " << codePage;
    return bytes;
}

// A UTF-8 path in the ANSI bytes the launcher hands on.
std::string ansiOf(const std::string& utf8) { return ansi(utf8ToWide(utf8)); }




// base + "\" + folders of at most 200 letters, exactly total characters long.
std::string longPath(const std::string& base, size_t total, char letter) {
    std::string path = base;
    while (path.size() < total) {
        const size_t remaining = total - path.size();
        if (remaining == 1) {
            path += letter;
            break;
        }
        path += '\\';
        path.append(std::min<size_t>(remaining - 1, 200), letter);
    }
    return path;
}

// A search path of entries C:\tools\NNNN, exactly total characters long.
std::string longSearchPath(size_t total) {
    std::string path = kStandardPath;
    for (int i = 0; path.size() + 14 <= total; ++i) {
        char entry[16];
        std::snprintf(entry, sizeof entry, ";C:\\tools\\%04d", i % 10000);
        path += entry;
    }
    while (path.size() < total) path += 'x';
    return path;
}

std::string exitText(DWORD code) {
    switch (code) {
    case 0xC0000005: return "access violation";
    case 0xC0000409: return "stack buffer overrun";
    case 0xC00000FD: return "stack overflow";
    case 0xC0000374: return "heap corruption";
    case 0xDEAD: return "killed by the harness after its time limit";
    case 99: return "the stand-in runtime was called through an unimplemented slot";
    case 98: return "the stand-in runtime was handed a bad handle or argument";
    case 97: return "the stand-in runtime found a bad test setup";
    case 3: return "abort()";
    default: break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "exit code %lu (0x%08lX)", static_cast<unsigned long>(code),
                  static_cast<unsigned long>(code));
    return text;
}

bool isCrash(DWORD code) {
    return code == 0xC0000005 || code == 0xC0000409 || code == 0xC00000FD || code == 0xC0000374 ||
           code == 0xDEAD || code == 99 || code == 98 || code == 97 || code == 3;
}

// Equal vectors, or the first place they differ.
::testing::AssertionResult sameTexts(const std::vector<std::string>& found, const std::vector<std::string>& expected) {
    if (found == expected) return ::testing::AssertionSuccess();
    size_t i = 0;
    while (i < found.size() && i < expected.size() && found[i] == expected[i]) ++i;
    auto shown = [](const std::vector<std::string>& texts, size_t at) {
        return at < texts.size() ? "\"" + texts[at].substr(0, 400) + "\"" : std::string("<none>");
    };
    return ::testing::AssertionFailure() << found.size() << " found, " << expected.size() << " expected; first difference at "
                                         << i << ": " << shown(found, i) << " instead of " << shown(expected, i);
}

// The single value of the trace lines starting with prefix; empty when there is none.
std::string onlyValue(const std::vector<std::string>& lines, const std::string& prefix) {
    const std::vector<std::string> found = linesWithPrefix(lines, prefix);
    EXPECT_LE(found.size(), 1u) << prefix;
    return found.empty() ? std::string() : found[0].substr(prefix.size());
}

// ---- what a launch may touch ----------------------------------------------------------------

struct FileState {
    bool folder = false;
    ULONGLONG size = 0;
    ULONGLONG written = 0;  // files only: a folder's time moves whenever its content does
    bool operator!=(const FileState& other) const {
        return folder != other.folder || size != other.size || written != other.written;
    }
};
using Tree = std::map<std::string, FileState>;

void walk(const std::wstring& folder, bool recurse, Tree& tree) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        FileState state;
        state.folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!state.folder) {
            state.size = (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            state.written = (static_cast<ULONGLONG>(entry.ftLastWriteTime.dwHighDateTime) << 32) |
                            entry.ftLastWriteTime.dwLowDateTime;
        }
        tree[wideToUtf8(path)] = state;
        // A link is recorded, never followed: one may point back up.
        if (recurse && state.folder && !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            walk(path, true, tree);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

// The watched folders in full, and the top level of drive C:.
Tree snapshot(const std::vector<std::string>& roots) {
    Tree tree;
    for (const std::string& root : roots) walk(utf8ToWide(root), true, tree);
    walk(L"C:", false, tree);
    return tree;
}

struct Places {
    std::set<std::string> files;       // exact paths
    std::set<std::string> policyDirs;  // folders the policy file may be written in
    std::set<std::string> profiles;    // folders whose Logs\ may receive the session log

    bool allow(const std::string& path) const {
        if (files.count(path)) return true;
        const size_t slash = path.rfind('\\');
        if (slash != std::string::npos && path.compare(slash + 1, std::string::npos, kPolicyName) == 0 &&
            policyDirs.count(path.substr(0, slash)))
            return true;
        for (const std::string& profile : profiles)
            if (path == profile + "\\Logs" || path == profile + "\\Logs\\" + kLogName) return true;
        return false;
    }
};

void expectOnlyAllowedChanges(const Tree& before, const Tree& after, const Places& places) {
    for (const auto& entry : after) {
        const auto old = before.find(entry.first);
        const bool changed = old == before.end() || (old->second != entry.second && !entry.second.folder);
        if (changed && !places.allow(entry.first)) ADD_FAILURE() << "written outside the launch's places: " << entry.first;
    }
    for (const auto& entry : before)
        if (!after.count(entry.first) && !places.allow(entry.first))
            ADD_FAILURE() << "removed outside the launch's places: " << entry.first;
}

// What a row expects of a launch: main runs (exit 0), or one fatal report with this text.
struct Expected {
    DWORD exitCode;
    std::string fatal;  // after "Fatal Error Launching: "
};
const Expected kRuns = {0, ""};
Expected fatal(const std::string& text) { return {1, text}; }

// ---- the bench ------------------------------------------------------------------------------

class Hostile : public InstalledApp {
protected:

    void SetUp() override {
        // Left by an earlier faulty run, these would fail every launch here instead of one.
        removeTree("C:\\Logs");
        removeTree(std::string("C:\\") + kPolicyName);
        install("Apps\\Korvo");
        makeFolders(startFolder());
        makeFolders(systemTemp());
    }

    std::string startFolder() const { return layout.root + "\\start"; }
    std::string systemTemp() const { return layout.root + "\\SysTemp"; }
    std::string plantedMark() const { return layout.root + "\\planted-mark.txt"; }
    std::string privateRuntime() const { return layout.root + "\\Maker\\jre1.6.0_02"; }
    std::string quickTimeFallback() const { return layout.programFiles + "\\QuickTime\\QTSystem\\"; }

    // The private runtime under root\Maker, named by the maker's key.
    void usePrivateRuntime(bool withCLibrary = true) {
        installPrivateRuntime(layout.root + "\\Maker", withCLibrary);
        registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Maker");
    }

    // jvm.dll imports msvcr71.dll; where none is preloaded, the system's search finds this copy
    // beside the executable.
    std::string cLibraryBesideTheExecutable() const {
        const std::string copy = layout.appDir + "\\msvcr71.dll";
        copyFile(standinDir() + "\\msvcr71.dll", copy);
        return copy;
    }

    // A runtime as the Java keys register it: folder\bin\msvcr71.dll, folder\bin\client\jvm.dll.
    void installRuntimeAt(const std::string& folder) {
        makeFolders(folder + "\\bin\\client");
        copyFile(standinDir() + "\\jvm.dll", folder + "\\bin\\client\\jvm.dll");
        copyFile(standinDir() + "\\msvcr71.dll", folder + "\\bin\\msvcr71.dll");
    }

    // The standard environment, plus TMP (the system's temporary folder when TEMP is unusable), a
    // variable for %...% texts to name, the planted library's mark file and a known start folder.
    Launch baseLaunch() const {
        Launch launch = standardLaunch(layout);
        launch.env["TMP"] = systemTemp();
        launch.env["KORVO_HOSTILE_ROOT"] = layout.root;
        launch.env["KORVO_HOSTILE_VERSION"] = "1.6.0_02";
        launch.env["KORVO_PLANTED_MARK"] = plantedMark();
        launch.currentDir = startFolder();
        launch.timeoutMs = kLaunchTimeoutMs;
        return launch;
    }

    // Where a launch of the standard environment may write.
    Places standardPlaces() const {
        Places places;
        places.files = {layout.trace, layout.stderrFile};
        places.policyDirs = {layout.temp};
        places.profiles = {layout.profile};
        return places;
    }

    // Runs one launch and checks what every launch must satisfy; returns the stand-in's trace.
    std::vector<std::string> launchChecked(const std::string& exe, const Launch& launch, const Expected& expected,
                                           const Places& places, const std::vector<std::string>& outside = {}) {
        removeTree(layout.trace);
        for (const std::string& profile : places.profiles) removeTree(profile + "\\Logs");
        std::vector<std::string> roots = outside;
        roots.push_back(layout.root);
        const Tree before = snapshot(roots);

        LaunchResult result;
        for (int attempt = 1;; ++attempt) {
            RunningKorvo running(exe, launch);
            // Wine now and then fails to create a process at all (error 1359) when the machine is
            // busy; the launcher never ran, so the start is tried once more.
            if (!running.started() && attempt == 1) {
                Sleep(500);
                continue;
            }
            result = running.wait();
            break;
        }
        const Tree after = snapshot(roots);
        const std::vector<std::string> lines = traceLines(layout.trace);

        EXPECT_FALSE(result.timedOut);
        EXPECT_FALSE(isCrash(result.exitCode)) << exitText(result.exitCode);
        EXPECT_EQ(result.exitCode, expected.exitCode) << exitText(result.exitCode);
        for (const std::string& line : lines) {
            for (const char* loud : {"UNIMPLEMENTED", "BAD ", "WARNING"})
                EXPECT_NE(line.compare(0, std::strlen(loud), loud), 0) << line;
        }
        if (expected.exitCode == 0) {
            EXPECT_TRUE(result.boxes.empty()) << result.boxes[0].text;
            EXPECT_TRUE(hasLine(lines, "main returned"));
            EXPECT_TRUE(hasLine(lines, "DestroyJavaVM returned"));
        } else if (result.boxes.size() != 1) {
            ADD_FAILURE() << result.boxes.size() << " boxes, one expected: " << expected.fatal;
        } else {
            EXPECT_EQ(result.boxes[0].caption, "Korvo.exe");
            EXPECT_EQ(result.boxes[0].text, "Fatal Error Launching: " + expected.fatal);
        }
        expectOnlyAllowedChanges(before, after, places);
        EXPECT_FALSE(exists("C:\\Logs"));
        EXPECT_FALSE(exists(std::string("C:\\") + kPolicyName));
        return lines;
    }

    std::string classPathHead(const std::string& appDir, const std::string& quickTime, const std::string& home) const {
        return "-Djava.class.path=" + appDir + "\\Korvo.jar;" + quickTime + "QTJava.zip;" + home + ";";
    }

    std::string libraryPath(const std::string& appDir, const std::string& searchPath,
                            const std::string& quickTime) const {
        return "-Djava.library.path=.;" + appDir + "\\lib;" + searchPath + ";" + quickTime;
    }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Registry: each value the launch reads, in every hostile form, the others kept valid.

namespace {

enum class Value { MakerJavaHome, CurrentVersion, JavaHome, RuntimeLib, QTExtDir };
const char* const kValueNames[] = {"Halvesta JAVA_HOME", "CurrentVersion", "JavaHome", "RuntimeLib", "QTExtDir"};

enum class Form { Missing, Empty, Oversize, Unterminated, Dword, Expand, NonAscii };
const char* const kFormNames[] = {"missing", "empty", "64 KiB", "without its terminating zero",
                                  "REG_DWORD", "REG_EXPAND_SZ with %VARIABLES%", "non-ASCII"};

// A value's valid text and its two hostile texts, in the bytes stored (ANSI).
struct ValueTexts {
    std::string valid;
    std::string expand;
    std::string nonAscii;
};

void storeForm(Registry& registry, const std::string& key, const char* name, Form form, const ValueTexts& texts) {
    switch (form) {
    case Form::Missing: registry.createKey(key); break;
    case Form::Empty: registry.setRaw(key, name, REG_SZ, std::string(1, '\0')); break;
    case Form::Oversize: registry.setRaw(key, name, REG_SZ, std::string(64 * 1024, 'x') + '\0'); break;
    case Form::Unterminated: registry.setRaw(key, name, REG_SZ, texts.valid); break;
    case Form::Dword: registry.setDword(key, name, 1); break;
    case Form::Expand: registry.setRaw(key, name, REG_EXPAND_SZ, texts.expand + '\0'); break;
    case Form::NonAscii: registry.setRaw(key, name, REG_SZ, texts.nonAscii + '\0'); break;
    }
}

// What the stand-in reports of a launch: the libraries it saw loaded (UTF-8 paths; empty: none)
// and, when main runs, the Java home and QuickTime folder in the options (ANSI bytes).
struct RegistryOutcome {
    Expected expected;
    std::string jvm;
    std::string cLibrary;
    std::string home;
    std::string quickTime;
};

}  // namespace

TEST_F(Hostile, RegistryValues) {
    const std::string root = layout.root;
    const std::string maker = root + "\\Maker";
    const std::string makerNonAscii = root + "\\M\xc3\xa4ker";  // UTF-8 of "Mäker"
    const std::string privateHome = maker + "\\jre1.6.0_02";
    const std::string privateNonAscii = makerNonAscii + "\\jre1.6.0_02";
    const std::string registered = root + "\\registered\\jre";
    const std::string registeredNonAscii = root + "\\registered\\j\xc3\xa4va";
    const std::string quickTime = root + "\\QT\\QTSystem\\";
    const std::string quickTimeNonAscii = root + "\\QT\xc3\xa4\\QTSystem\\";
    const std::string versionNonAscii = "1.6.0_\xc3\xa4";
    installPrivateRuntime(maker);
    installPrivateRuntime(makerNonAscii);
    installRuntimeAt(registered);
    installRuntimeAt(registeredNonAscii);
    const std::string besideTheExecutable = cLibraryBesideTheExecutable();

    const std::string jvmOf[] = {privateHome + "\\bin\\client\\jvm.dll", privateNonAscii + "\\bin\\client\\jvm.dll",
                                 registered + "\\bin\\client\\jvm.dll",
                                 registeredNonAscii + "\\bin\\client\\jvm.dll"};
    const std::string& privateJvm = jvmOf[0];
    const std::string& privateNonAsciiJvm = jvmOf[1];
    const std::string& registeredJvm = jvmOf[2];
    const std::string& registeredNonAsciiJvm = jvmOf[3];
    auto cLibraryOf = [](const std::string& home) { return home + "\\bin\\msvcr71.dll"; };

    const ValueTexts makerTexts = {ansiOf(maker), "%KORVO_HOSTILE_ROOT%\\Maker", ansiOf(makerNonAscii)};
    const ValueTexts versionTexts = {"1.6.0_02", "%KORVO_HOSTILE_VERSION%", ansiOf(versionNonAscii)};
    const ValueTexts homeTexts = {ansiOf(registered), "%KORVO_HOSTILE_ROOT%\\registered\\jre",
                                  ansiOf(registeredNonAscii)};
    const ValueTexts libraryTexts = {ansiOf(registeredJvm), "%KORVO_HOSTILE_ROOT%\\registered\\jre\\bin\\client\\jvm.dll",
                                     ansiOf(registeredNonAsciiJvm)};
    const ValueTexts quickTimeTexts = {ansiOf(quickTime), "%KORVO_HOSTILE_ROOT%\\QT\\QTSystem\\",
                                       ansiOf(quickTimeNonAscii)};

    const std::string qt = ansiOf(quickTime);
    const RegistryOutcome privateRuns = {kRuns, privateJvm, cLibraryOf(privateHome), ansiOf(privateHome), qt};
    const RegistryOutcome registeredRuns = {kRuns, registeredJvm, cLibraryOf(registered), ansiOf(registered), qt};
    // An unreadable Java home: no C library is preloaded (jvm.dll's import finds the one beside
    // the executable), the class path keeps an empty entry.
    const RegistryOutcome registeredWithoutHome = {kRuns, registeredJvm, besideTheExecutable, "", qt};
    // CurrentVersion unreadable or naming no key: the one valid version subkey serves.
    const RegistryOutcome& noVersion = registeredRuns;
    // The C library comes from the valid Java home before jvm.dll fails to load.
    const RegistryOutcome noLibrary = {fatal("Error loading JVM"), "", cLibraryOf(registered), "", ""};
    auto withQuickTime = [](RegistryOutcome outcome, const std::string& folder) {
        outcome.quickTime = folder;
        return outcome;
    };

    struct Row {
        Value value;
        Form form;
        RegistryOutcome outcome;
    };
    const Row rows[] = {
        // An unreadable maker's value leaves the private route to the fallback folder beside the
        // application folder, which does not exist here: the registered runtime runs.
        {Value::MakerJavaHome, Form::Missing, registeredRuns},
        {Value::MakerJavaHome, Form::Empty, registeredRuns},
        {Value::MakerJavaHome, Form::Oversize, registeredRuns},
        {Value::MakerJavaHome, Form::Unterminated, privateRuns},
        {Value::MakerJavaHome, Form::Dword, registeredRuns},
        // A path of that type is expanded, as the type asks.
        {Value::MakerJavaHome, Form::Expand, privateRuns},
        {Value::MakerJavaHome, Form::NonAscii,
         {kRuns, privateNonAsciiJvm, cLibraryOf(privateNonAscii), ansiOf(privateNonAscii), qt}},

        {Value::CurrentVersion, Form::Missing, noVersion},
        {Value::CurrentVersion, Form::Empty, noVersion},
        {Value::CurrentVersion, Form::Oversize, noVersion},
        {Value::CurrentVersion, Form::Unterminated, registeredRuns},
        {Value::CurrentVersion, Form::Dword, noVersion},
        {Value::CurrentVersion, Form::Expand, noVersion},  // a key name, never expanded
        // The version key of that non-ASCII name registers the runtime in the non-ASCII folder.
        {Value::CurrentVersion, Form::NonAscii,
         {kRuns, registeredNonAsciiJvm, cLibraryOf(registeredNonAscii), ansiOf(registeredNonAscii), qt}},

        {Value::JavaHome, Form::Missing, registeredWithoutHome},
        {Value::JavaHome, Form::Empty, registeredWithoutHome},
        {Value::JavaHome, Form::Oversize, registeredWithoutHome},
        {Value::JavaHome, Form::Unterminated, registeredRuns},
        {Value::JavaHome, Form::Dword, registeredWithoutHome},
        {Value::JavaHome, Form::Expand, registeredRuns},
        {Value::JavaHome, Form::NonAscii,
         {kRuns, registeredJvm, cLibraryOf(registeredNonAscii), ansiOf(registeredNonAscii), qt}},

        {Value::RuntimeLib, Form::Missing, noLibrary},
        {Value::RuntimeLib, Form::Empty, noLibrary},
        {Value::RuntimeLib, Form::Oversize, noLibrary},
        {Value::RuntimeLib, Form::Unterminated, registeredRuns},
        {Value::RuntimeLib, Form::Dword, noLibrary},
        {Value::RuntimeLib, Form::Expand, registeredRuns},
        {Value::RuntimeLib, Form::NonAscii,
         {kRuns, registeredNonAsciiJvm, cLibraryOf(registered), ansiOf(registered), qt}},

        {Value::QTExtDir, Form::Missing, withQuickTime(privateRuns, quickTimeFallback())},
        // Taken as stored, an empty folder would grant every local file: it counts as absent.
        {Value::QTExtDir, Form::Empty, withQuickTime(privateRuns, quickTimeFallback())},
        {Value::QTExtDir, Form::Oversize, withQuickTime(privateRuns, quickTimeFallback())},
        {Value::QTExtDir, Form::Unterminated, privateRuns},
        {Value::QTExtDir, Form::Dword, withQuickTime(privateRuns, quickTimeFallback())},
        {Value::QTExtDir, Form::Expand, privateRuns},
        {Value::QTExtDir, Form::NonAscii, withQuickTime(privateRuns, ansiOf(quickTimeNonAscii))},
    };

    const std::string versionKey = std::string(Registry::kJavaKey) + "\\1.6.0_02";
    const std::string nonAsciiVersionKey = std::string(Registry::kJavaKey) + "\\" + versionTexts.nonAscii;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(kValueNames[static_cast<int>(row.value)]) + ", " +
                     kFormNames[static_cast<int>(row.form)]);
        auto put = [&](Value which, const std::string& key, const char* name, const ValueTexts& texts) {
            if (row.value == which)
                storeForm(registry, key, name, row.form, texts);
            else
                registry.setString(key, name, texts.valid);
        };
        Registry::clearAll();
        // The registered route is consulted only when the private one finds nothing, so its
        // values are tried without the maker's key.
        if (row.value == Value::MakerJavaHome || row.value == Value::QTExtDir)
            put(Value::MakerJavaHome, Registry::kMakerKey, "JAVA_HOME", makerTexts);
        put(Value::CurrentVersion, Registry::kJavaKey, "CurrentVersion", versionTexts);
        put(Value::JavaHome, versionKey, "JavaHome", homeTexts);
        put(Value::RuntimeLib, versionKey, "RuntimeLib", libraryTexts);
        registry.setString(nonAsciiVersionKey, "JavaHome", homeTexts.nonAscii);
        registry.setString(nonAsciiVersionKey, "RuntimeLib", libraryTexts.nonAscii);
        put(Value::QTExtDir, Registry::kQuickTimeKey, "QTExtDir", quickTimeTexts);

        const RegistryOutcome& want = row.outcome;
        const std::vector<std::string> lines =
            launchChecked(layout.exe, baseLaunch(), want.expected, standardPlaces());
        EXPECT_EQ(onlyValue(lines, "jvm attach "), want.jvm);
        EXPECT_EQ(onlyValue(lines, "msvcr71 attach "), want.cLibrary);
        if (want.expected.exitCode != 0) continue;
        const std::vector<std::string> options = traceOptions(lines);
        if (options.size() != 7) continue;  // launchChecked has reported it
        EXPECT_EQ(options[0], classPathHead(layout.appDir, want.quickTime, want.home));
        EXPECT_EQ(options[1], libraryPath(layout.appDir, kStandardPath, want.quickTime));
        EXPECT_EQ(readFile(layout.policyFile()), policyText(asUrlPath(layout.appDir) + "/", asUrlPath(want.quickTime)));
    }
}

// ---------------------------------------------------------------------------------------------
// Environment: USERPROFILE, TEMP, PATH and ProgramFiles unset, empty and too long.

TEST_F(Hostile, EnvironmentVariables) {
    // A C library that does not load gives every launch one logged, non-fatal error, so where
    // the session log lands is seen in every row.
    usePrivateRuntime(false);
    writeFile(privateRuntime() + "\\bin\\msvcr71.dll", "not a library");
    cLibraryBesideTheExecutable();

    const std::string profile260 = longPath(layout.root + "\\U", 260, 'u');
    const std::string profile1024 = longPath(layout.root + "\\U", 1024, 'u');
    const std::string temp260 = longPath(layout.root + "\\T", 260, 't');
    const std::string temp1024 = longPath(layout.root + "\\T", 1024, 't');
    const std::string path260 = longSearchPath(260);
    const std::string path1024 = longSearchPath(1024);
    const std::string programFiles260 = longPath(layout.root + "\\P", 260, 'p');
    const std::string programFiles1024 = longPath(layout.root + "\\P", 1024, 'p');
    // The folders exist, so a launch that used a value it should refuse would leave files there.
    for (const std::string& folder : {profile260, profile1024, temp260, temp1024, programFiles260, programFiles1024})
        makeFolders(folder);
    ASSERT_TRUE(isFolder(profile1024) && isFolder(temp1024)) << "the test prefix refuses long paths";

    enum class Log { Written, None, EitherWay };
    struct Row {
        const char* what;
        const char* variable;
        bool set;
        std::string value;
        std::string policyDir;
        std::string cwd;
        std::string errorFile;  // the ErrorFile option's folder part before "\Logs\"
        std::string searchPath;
        std::string quickTime;
        Log log;
    };
    const std::string& profile = layout.profile;
    const std::string& temp = layout.temp;
    const std::string start = startFolder();
    const std::string sysTemp = systemTemp();
    const std::string qt = quickTimeFallback();
    const std::string noProgramFiles = ansiOf(systemProgramFiles()) + "\\QuickTime\\QTSystem\\";
    const Row rows[] = {
        // Without a usable profile the working directory stays the start folder, and no log is
        // written: never at a drive root.
        {"unset", "USERPROFILE", false, "", temp, start, "", kStandardPath, qt, Log::None},
        {"empty", "USERPROFILE", true, "", temp, start, "", kStandardPath, qt, Log::None},
        // Too long for the working directory; whether the log's own path of under 1024
        // characters can be written depends on the system's path limit.
        {"260 characters", "USERPROFILE", true, profile260, temp, start, profile260, kStandardPath, qt,
         Log::EitherWay},
        {"1024 characters", "USERPROFILE", true, profile1024, temp, start, profile1024, kStandardPath, qt, Log::None},
        {"unset", "TEMP", false, "", sysTemp, profile, profile, kStandardPath, qt, Log::Written},
        {"empty", "TEMP", true, "", sysTemp, profile, profile, kStandardPath, qt, Log::Written},
        {"260 characters", "TEMP", true, temp260, sysTemp, profile, profile, kStandardPath, qt, Log::Written},
        {"1024 characters", "TEMP", true, temp1024, sysTemp, profile, profile, kStandardPath, qt, Log::Written},
        {"unset", "PATH", false, "", temp, profile, profile, "", qt, Log::Written},
        {"empty", "PATH", true, "", temp, profile, profile, "", qt, Log::Written},
        {"260 characters", "PATH", true, path260, temp, profile, profile, path260, qt, Log::Written},
        {"1024 characters", "PATH", true, path1024, temp, profile, profile, path1024, qt, Log::Written},
        // An unusable ProgramFiles gives way to the system's own program files folder.
        {"unset", "ProgramFiles", false, "", temp, profile, profile, kStandardPath, noProgramFiles, Log::Written},
        {"empty", "ProgramFiles", true, "", temp, profile, profile, kStandardPath, noProgramFiles, Log::Written},
        {"260 characters", "ProgramFiles", true, programFiles260, temp, profile, profile, kStandardPath,
         noProgramFiles, Log::Written},
        {"1024 characters", "ProgramFiles", true, programFiles1024, temp, profile, profile, kStandardPath,
         noProgramFiles, Log::Written},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.variable) + " " + row.what);
        Launch launch = baseLaunch();
        setVariable(launch, row.variable, row.set, row.value);
        const std::string usedProfile = launch.env.count("USERPROFILE") ? launch.env["USERPROFILE"] : "";
        for (const std::string& dir : {temp, sysTemp}) removeTree(dir + "\\" + kPolicyName);

        Places places = standardPlaces();
        places.policyDirs = {row.policyDir};
        places.profiles = {profile};
        if (!usedProfile.empty()) places.profiles.insert(usedProfile);
        const std::vector<std::string> lines = launchChecked(layout.exe, launch, kRuns, places);

        const std::vector<std::string> options = traceOptions(lines);
        if (options.size() != 7) continue;  // launchChecked has reported it
        EXPECT_EQ(options[0], classPathHead(layout.appDir, row.quickTime, privateRuntime()));
        EXPECT_EQ(options[1], libraryPath(layout.appDir, row.searchPath, row.quickTime));
        EXPECT_EQ(options[3], "-Djava.security.policy=file:/" + asUrlPath(row.policyDir + "\\" + kPolicyName));
        EXPECT_EQ(options[4], "-XX:ErrorFile=" + row.errorFile + "\\Logs\\Korvo.exe_error%p.log");
        EXPECT_EQ(readFile(row.policyDir + "\\" + kPolicyName),
                  policyText(asUrlPath(layout.appDir) + "/", asUrlPath(row.quickTime)));
        EXPECT_TRUE(hasLine(lines, "cwd=" + row.cwd));

        const std::string log = usedProfile + "\\Logs\\" + kLogName;
        if (row.log == Log::None) {
            EXPECT_FALSE(exists(profile + "\\Logs"));
            if (!usedProfile.empty()) EXPECT_FALSE(exists(usedProfile + "\\Logs"));
        } else if (row.log == Log::Written || exists(log)) {
            std::vector<LogRecord> records;
            EXPECT_TRUE(parseSessionLog(readFile(log), records)) << log;
            EXPECT_EQ(records.size(), 1u);
            if (!records.empty()) EXPECT_EQ(records[0].text, "Error Launching: Error loading msvcr71.dll");
        }
    }
}

// ---------------------------------------------------------------------------------------------
// File system: link cycles, depth, breadth, awkward names, things in unexpected places.

namespace {

// C:\kt\hostile-cycle\lib\sub\loop links back to lib.
const char kCycleApp[] = "C:\\kt\\hostile-cycle";

// 10 000 files, made once and kept between runs: the marker is written last.
const char kBreadthApp[] = "C:\\kt\\hostile-breadth";
const int kBreadthEntries = 10000;

std::string breadthName(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%05d.%s", i, i % 2 == 0 ? "jar" : "txt");
    return name;
}

void makeBreadthTree() {
    const std::string lib = std::string(kBreadthApp) + "\\lib";
    const std::string marker = std::string(kBreadthApp) + "\\complete";
    if (exists(marker)) return;
    removeTree(kBreadthApp);
    makeFolders(lib);
    for (int i = 0; i < kBreadthEntries; ++i) {
        HANDLE file = CreateFileW(utf8ToWide(lib + "\\" + breadthName(i)).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    writeFile(marker, "");
}

// The archive entries after the class path's head, in any order. Names may hold ';', so then
// each entry is matched as text and all of them together must make up the rest exactly.
void expectArchives(const std::string& rest, std::vector<std::string> expected) {
    const bool plain = std::none_of(expected.begin(), expected.end(),
                                    [](const std::string& e) { return e.find(';') != std::string::npos; });
    if (plain) {
        std::vector<std::string> found;
        size_t start = 0;
        while (start < rest.size()) {
            size_t semi = rest.find(';', start);
            if (semi == std::string::npos) semi = rest.size();
            found.push_back(rest.substr(start, semi - start));
            start = semi + 1;
        }
        std::sort(found.begin(), found.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_TRUE(sameTexts(found, expected));
        return;
    }
    size_t total = 0;
    for (const std::string& entry : expected) {
        EXPECT_NE(rest.find(entry + ";"), std::string::npos) << entry;
        total += entry.size() + 1;
    }
    EXPECT_EQ(rest.size(), total) << rest;
}

}  // namespace

TEST_F(Hostile, FileSystem) {
    usePrivateRuntime();
    const std::string root = layout.root;
    auto files = [](const std::string& folder, std::initializer_list<std::string> names) {
        makeFolders(folder);
        for (const std::string& name : names) writeFile(folder + "\\" + name, "");
    };
    std::vector<std::string> deepArchives;

    struct Row {
        const char* what;
        std::string appDir;  // UTF-8
        std::function<void(const std::string& appDir)> prepare;
        Expected expected;
        std::function<std::vector<std::string>(const std::string& appDir)> archives;  // UTF-8 paths
        bool policyWritten;
        std::function<void(const std::string& appDir, const std::vector<std::string>& options)> check;
    };
    const std::string policy = layout.policyFile();
    const std::string oldPolicy = "// an administrator's own policy\r\n";
    DWORD policyAttributes = INVALID_FILE_ATTRIBUTES;
    const Row rows[] = {
        {"a link back up the lib tree", kCycleApp,
         [&](const std::string& app) {
             ASSERT_TRUE(makeHostLink(app + "\\lib\\sub", "loop", "..")) << "no link at " << app << "\\lib\\sub\\loop";
             files(app + "\\lib", {"a.jar"});
             files(app + "\\lib\\sub", {"b.jar"});
         },
         kRuns, [](const std::string& app) { return std::vector<std::string>{app + "\\lib\\a.jar", app + "\\lib\\sub\\b.jar"}; },
         true, nullptr},
        {"40 levels deep", root + "\\deep",
         [&](const std::string& app) {
             std::string level = app + "\\lib";
             for (int depth = 0; depth <= 40; ++depth) {
                 if (depth > 0) {
                     char name[8];
                     std::snprintf(name, sizeof name, "\\d%02d", depth);
                     level += name;
                 }
                 files(level, {"z.jar"});
                 deepArchives.push_back(level + "\\z.jar");
             }
         },
         kRuns, [&](const std::string&) { return deepArchives; }, true, nullptr},
        {"10 000 entries", kBreadthApp, [](const std::string&) { makeBreadthTree(); }, kRuns,
         [](const std::string& app) {
             std::vector<std::string> jars;
             for (int i = 0; i < kBreadthEntries; i += 2) jars.push_back(app + "\\lib\\" + breadthName(i));
             return jars;
         },
         true, nullptr},
        {"names with blanks, %, #, ; and a letter of the ANSI code page", root + "\\names",
         [&](const std::string& app) {
             files(app + "\\lib", {"a b.jar", "100%.jar", "#1.jar", "x;y.jar", "J\xc3\xa4va.jar", "%PATH%.zip"});
             files(app + "\\lib\\sub dir #%;", {"c.jar"});
         },
         kRuns,
         [](const std::string& app) {
             const std::string lib = app + "\\lib\\";
             return std::vector<std::string>{lib + "a b.jar", lib + "100%.jar", lib + "#1.jar", lib + "x;y.jar",
                                             lib + "J\xc3\xa4va.jar", lib + "%PATH%.zip",
                                             lib + "sub dir #%;\\c.jar"};
         },
         true, nullptr},
        // The code page cannot spell this name: its entry is the file's short form.
        {"a name outside the ANSI code page", root + "\\wide",
         [&](const std::string& app) { files(app + "\\lib", {"\xe6\x97\xa5\xe6\x9c\xac.jar"}); }, kRuns, nullptr,
         true,
         [&](const std::string& app, const std::vector<std::string>& options) {
             ASSERT_EQ(options.size(), 7u);
             const std::string head = classPathHead(app, quickTimeFallback(), privateRuntime());
             ASSERT_EQ(options[0].compare(0, head.size(), head), 0) << options[0];
             const std::string rest = options[0].substr(head.size());
             ASSERT_EQ(rest.find(';'), rest.size() - 1) << rest;
             EXPECT_EQ(realPath(rest.substr(0, rest.size() - 1)), app + "\\lib\\\xe6\x97\xa5\xe6\x9c\xac.jar") << rest;
         }},
        // The code base in literal bytes: blank, "%" and "#" escaped, the letter as its ANSI byte.
        {"application folder with blanks, %, # and a letter of the ANSI code page", root + "\\K o%#\xc3\xa4",
         [&](const std::string& app) { files(app + "\\lib", {"a.jar"}); }, kRuns,
         [](const std::string& app) { return std::vector<std::string>{app + "\\lib\\a.jar"}; }, false,
         [&](const std::string&, const std::vector<std::string>&) {
             EXPECT_NE(readFile(policy).find("grant codeBase \"file:/C:/kt/FileSystem/K%20o%25%23\xe4/-\" {\r\n"),
                       std::string::npos)
                 << readFile(policy);
         }},
        // The class path has no escape for its separator: Korvo.jar's entry falls apart, so the
        // main class is not found.
        {"application folder with ;", root + "\\K;o", nullptr, fatal("Failed to find main class"), nullptr, true,
         nullptr},
        // Every file below a folder whose name holds ".jar" counts as an archive.
        {"application folder named like an archive", root + "\\Korvo.jar",
         [&](const std::string& app) {
             files(app + "\\lib", {"readme.txt"});
             files(app + "\\lib\\docs", {"notes.txt"});
         },
         kRuns,
         [](const std::string& app) {
             return std::vector<std::string>{app + "\\lib\\readme.txt", app + "\\lib\\docs\\notes.txt"};
         },
         true, nullptr},
        // Wine enforces no access control on files and these tests run as root, so no folder can
        // be made unreadable; the nearest case is a file where the scan expects its folder.
        {"a file in the place of lib", root + "\\libfile",
         [&](const std::string& app) { writeFile(app + "\\lib", "not a folder"); }, kRuns,
         [](const std::string&) { return std::vector<std::string>{}; }, true, nullptr},
        {"a read-only policy file", root + "\\readonly",
         [&](const std::string&) {
             writeFile(policy, oldPolicy);
             ASSERT_TRUE(SetFileAttributesW(utf8ToWide(policy).c_str(), FILE_ATTRIBUTE_READONLY));
             policyAttributes = GetFileAttributesW(utf8ToWide(policy).c_str());
             ASSERT_TRUE(policyAttributes != INVALID_FILE_ATTRIBUTES && (policyAttributes & FILE_ATTRIBUTE_READONLY));
         },
         kRuns, [](const std::string&) { return std::vector<std::string>{}; }, false,
         [&](const std::string&, const std::vector<std::string>&) {
             EXPECT_EQ(readFile(policy), oldPolicy);
             EXPECT_EQ(GetFileAttributesW(utf8ToWide(policy).c_str()), policyAttributes);
             removeTree(policy);
         }},
        {"a folder in the policy file's place", root + "\\policyfolder",
         [&](const std::string&) { files(policy, {"kept.txt"}); }, kRuns,
         [](const std::string&) { return std::vector<std::string>{}; }, false,
         [&](const std::string&, const std::vector<std::string>&) {
             EXPECT_EQ(listFolder(policy), std::vector<std::string>{"kept.txt"});
             removeTree(policy);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string& app = row.appDir;
        makeFolders(app);
        if (row.prepare) row.prepare(app);
        if (HasFatalFailure()) return;
        copyFile(korvoExe(), app + "\\Korvo.exe");
        installMainJar(app);
        std::vector<std::string> outside;
        if (app.compare(0, root.size() + 1, root + "\\") != 0) outside.push_back(app);

        const std::vector<std::string> lines =
            launchChecked(app + "\\Korvo.exe", baseLaunch(), row.expected, standardPlaces(), outside);
        const std::vector<std::string> options = traceOptions(lines);
        if (row.expected.exitCode == 0 && options.size() == 7) {
            const std::string appAnsi = ansiOf(app);
            if (row.archives) {
                const std::string head = classPathHead(appAnsi, quickTimeFallback(), privateRuntime());
                std::vector<std::string> expected;
                for (const std::string& entry : row.archives(app)) expected.push_back(ansiOf(entry));
                if (options[0].compare(0, head.size(), head) == 0)
                    expectArchives(options[0].substr(head.size()), expected);
                else
                    ADD_FAILURE() << "class path head: " << options[0].substr(0, 2000);
            }
            EXPECT_EQ(options[1], libraryPath(appAnsi, kStandardPath, quickTimeFallback()));
            if (row.policyWritten)
                EXPECT_EQ(readFile(policy), policyText(asUrlPath(appAnsi) + "/", asUrlPath(quickTimeFallback())));
        }
        if (row.check) row.check(app, options);
    }
}

// ---------------------------------------------------------------------------------------------
// Command line: what main receives is what the system's own splitting makes of it.

TEST_F(Hostile, CommandLine) {
    usePrivateRuntime();
    std::wstring thousand;
    for (int i = 0; i < 1000; ++i) thousand += L"\"arg " + std::to_wstring(i) + L"\" ";
    std::wstring huge(30000, L'a');
    for (size_t i = 0; i < huge.size(); i += 97) huge[i] = static_cast<wchar_t>(L'A' + (i / 97) % 26);

    struct Row {
        const char* what;
        std::wstring arguments;
        size_t count;  // how many arguments main must receive
    };
    const Row rows[] = {
        {"no arguments", L"", 0},
        {"1 000 arguments", thousand, 1000},
        {"one argument of 30 000 characters", huge, 1},
        {"quoted pieces joined", L"\"abc\" d e", 3},
        {"backslashes before no quote stay", L"a\\\\b d\"e f\"g h", 3},
        {"odd backslashes before a quote escape it", L"a\\\\\\\"b c d", 3},
        {"even backslashes before a quote halve", L"a\\\\\\\\\"b c\" d e", 3},
        {"doubled quote inside quotes", L"a\"b\"\" c d", 0},
        {"empty quoted arguments", L"\"\" \"\" x", 3},
        {"trailing backslash inside quotes", L"\"C:\\dir\\\\\" next", 2},
        {"quote left open", L"\"open ended \\\\", 1},
        {"tabs and runs of blanks", L"a\t\tb   c \t", 3},
        {"line breaks inside an argument", L"\"one\r\ntwo\" \"x\ny\"", 2},
        {"outside the ANSI code page", L"\u65e5\u672c\u8a9e \U0001F600 \u0416\u0436 \"\u00e9 \u20ac\"", 4},
        {"a lone surrogate", L"\xD800x y\xDC00", 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Launch launch = baseLaunch();
        launch.arguments = row.arguments;
        // The command line the harness makes, split by the system for comparison.
        std::wstring commandLine = L"\"" + utf8ToWide(layout.exe) + L"\"";
        if (!row.arguments.empty()) commandLine += L" " + row.arguments;
        int argc = 0;
        LPWSTR* argv = CommandLineToArgvW(commandLine.c_str(), &argc);
        ASSERT_NE(argv, nullptr);
        std::vector<std::string> expectedHex;
        for (int i = 1; i < argc; ++i) expectedHex.push_back(utf16Hex(argv[i]));
        LocalFree(argv);
        if (row.count) EXPECT_EQ(expectedHex.size(), row.count) << "the system's own splitting";

        const std::vector<std::string> lines = launchChecked(layout.exe, launch, kRuns, standardPlaces());
        EXPECT_TRUE(hasLine(lines, "main args=" + std::to_string(expectedHex.size())));
        std::vector<std::string> hex;
        for (const std::string& line : linesWithPrefix(lines, "arghex["))
            hex.push_back(line.substr(line.find("]=") + 2));
        EXPECT_TRUE(sameTexts(hex, expectedHex));
    }
}

// ---------------------------------------------------------------------------------------------
// Libraries planted where the launch must never load from (beyond the registered route's
// cases in runtime_test.cpp).

TEST_F(Hostile, PlantedLibraries) {
    const std::string registered = layout.root + "\\registered\\jre";
    installRuntimeAt(registered);
    const std::string registeredJvm = registered + "\\bin\\client\\jvm.dll";
    const std::string planted = standinDir() + "\\planted.dll";
    const std::string start = startFolder();

    struct Row {
        const char* what;
        std::function<void()> prepare;
        Expected expected;
        std::string jvm;
        std::string cLibrary;
        std::string startIn = "";  // the launch's start folder; empty: root\start
    };
    // Drive K:, a scratch folder the test script maps, stands for the drive a launch is started
    // from (a stick, a share).
    const std::string driveRuntime = "K:\\jre1.6.0_02";
    const Row rows[] = {
        // jvm.dll's import of msvcr71.dll is searched for without the start folder, so the
        // runtime cannot load at all.
        {"private runtime without its C library, both libraries in the start folder",
         [&] {
             usePrivateRuntime(false);
             copyFile(planted, start + "\\msvcr71.dll");
             copyFile(planted, start + "\\jvm.dll");
         },
         fatal("Error loading JVM"), "", ""},
        // Nothing is loaded by bare name, so the application folder's copies stay unused too.
        {"private runtime, both libraries in the application folder",
         [&] {
             usePrivateRuntime(true);
             copyFile(planted, layout.appDir + "\\msvcr71.dll");
             copyFile(planted, layout.appDir + "\\jvm.dll");
         },
         kRuns, privateRuntime() + "\\bin\\client\\jvm.dll", privateRuntime() + "\\bin\\msvcr71.dll"},
        // A relative maker's folder must not pick a runtime out of the start folder; the
        // registered runtime is the one left.
        {"maker's folder named relative to the start folder",
         [&] {
             const std::string fake = start + "\\Maker\\jre1.6.0_02\\bin";
             makeFolders(fake + "\\client");
             copyFile(planted, fake + "\\client\\jvm.dll");
             copyFile(planted, fake + "\\msvcr71.dll");
             registry.setString(Registry::kMakerKey, "JAVA_HOME", "Maker");
             registry.registerJava("1.6.0_02", registered, registeredJvm);
         },
         kRuns, registeredJvm, registered + "\\bin\\msvcr71.dll"},
        // Like a bare library name, a relative one never resolves against the start folder.
        {"RuntimeLib relative with folders",
         [&] {
             makeFolders(start + "\\bin\\client");
             copyFile(planted, start + "\\bin\\client\\jvm.dll");
             registry.registerJava("1.6.0_02", registered, "bin\\client\\jvm.dll");
         },
         fatal("Error loading JVM"), "", registered + "\\bin\\msvcr71.dll"},
        // An empty maker's value must not make "\jre1.6.0_02" on the start folder's drive the
        // private runtime; the registered runtime is the one left.
        {"maker's value empty, a runtime at the root of the start folder's drive",
         [&] {
             makeFolders(driveRuntime + "\\bin\\client");
             makeFolders("K:\\start");
             copyFile(planted, driveRuntime + "\\bin\\client\\jvm.dll");
             copyFile(planted, driveRuntime + "\\bin\\msvcr71.dll");
             registry.setString(Registry::kMakerKey, "JAVA_HOME", "");
             registry.registerJava("1.6.0_02", registered, registeredJvm);
         },
         kRuns, registeredJvm, registered + "\\bin\\msvcr71.dll", "K:\\start"},
    };
    ASSERT_TRUE(isFolder("K:\\")) << "the test script maps drive K: to a scratch folder";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Registry::clearAll();
        for (const std::string& folder : {start, layout.root + "\\Maker"}) removeTree(folder);
        makeFolders(start);
        removeTree(layout.appDir + "\\msvcr71.dll");
        removeTree(layout.appDir + "\\jvm.dll");
        removeTree(plantedMark());
        for (const std::string& folder : {driveRuntime, std::string("K:\\start")}) removeTree(folder);
        row.prepare();

        Launch launch = baseLaunch();
        if (!row.startIn.empty()) launch.currentDir = row.startIn;
        const std::vector<std::string> lines = launchChecked(layout.exe, launch, row.expected, standardPlaces(), {"K:"});
        EXPECT_TRUE(linesWithPrefix(lines, "PLANTED").empty()) << linesWithPrefix(lines, "PLANTED")[0];
        EXPECT_FALSE(exists(plantedMark()));
        EXPECT_EQ(onlyValue(lines, "jvm attach "), row.jvm);
        EXPECT_EQ(onlyValue(lines, "msvcr71 attach "), row.cLibrary);
    }
    for (const std::string& folder : {driveRuntime, std::string("K:\\start")}) removeTree(folder);
}
