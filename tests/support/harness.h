// End-to-end test bench: scratch application folders, registry values of the test prefix,
// and real launches of Korvo.exe with their own environment, command line and message boxes.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace harness {

// Locations of built things (Windows paths).
std::string korvoExe();     // the build, or the file KORVO_EXE_UNDER_TEST names (a Unix path)
std::string standinDir();  // jvm.dll, msvcr71.dll, planted.dll, noexport\jvm.dll
std::string jarsDir();     // Korvo.jar, other.jar
std::string buildDir();
// True when this 32-bit program runs on 64-bit Windows (WOW64).
bool underWow64();
// The real runtime built from ../shared/avian (jre1.6.0_02\bin\client\jvm.dll, app\Korvo.jar,
// app\nested.jar); empty where that source is absent and only the stand-in exists.
std::string avianDir();

// Files and folders.
std::string unixToWindowsPath(const std::string& unixPath);
bool exists(const std::string& path);
bool isFolder(const std::string& path);
std::string readFile(const std::string& path);  // empty when missing
void writeFile(const std::string& path, const std::string& bytes);
void makeFolders(const std::string& path);      // like mkdir -p
void removeTree(const std::string& path);
void copyFile(const std::string& from, const std::string& to);
std::vector<std::string> listFolder(const std::string& path);  // names in listing order, no . ..
std::string wideToUtf8(const std::wstring& text);
// The long form (UTF-8) of a path that may be a short form; empty when it names nothing.
std::string longPath(const std::wstring& path);
// The same for a path the launch handed on in ANSI bytes.
std::string realPath(const std::string& ansiPath);
std::wstring utf8ToWide(const std::string& text);

// A scratch installation under C:\kt\<name>: removed and made afresh.
struct Layout {
    std::string root;          // C:\kt\<name>
    std::string appDir;        // root\Apps\Korvo (holds Korvo.exe, Korvo.jar, lib\)
    std::string exe;           // appDir\Korvo.exe
    std::string profile;       // root\Users\user1
    std::string temp;          // root\Temp
    std::string programFiles;  // root\Program Files
    std::string trace;         // root\trace.txt (the stand-in runtime's record)
    std::string stderrFile;    // root\stderr.txt
    std::string logFile() const { return profile + "\\Logs\\Korvo Session Log.txt"; }
    std::string policyFile() const { return temp + "\\Korvo.exe.policy"; }
    std::string launchTrace() const { return profile + "\\Logs\\Korvo Launch Trace.txt"; }
};
Layout makeLayout(const std::string& name, const std::string& appSubdir = "Apps\\Korvo");

// runtimeRoot\jre1.6.0_02\bin\client\jvm.dll (+ bin\msvcr71.dll when asked); returns the
// runtime folder.
std::string installPrivateRuntime(const std::string& runtimeRoot, bool withCLibrary = true);
void installMainJar(const std::string& appDir);
// The real runtime as runtimeRoot\jre1.6.0_02 (it needs no separate C library); returns the
// runtime folder.
std::string installAvianRuntime(const std::string& runtimeRoot);

// HKLM keys the launcher reads. Construction and destruction remove all of them, so each test
// starts from a registry without them.
class Registry {
public:
    Registry();
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;
    static const char* const kMakerKey;
    static const char* const kJavaKey;
    static const char* const kJreKey;  // where Java 9 and later register
    static const char* const kJdkKey;
    static const char* const kQuickTimeKey;
    void createKey(const std::string& key);
    void setString(const std::string& key, const std::string& name, const std::string& value);
    void setRaw(const std::string& key, const std::string& name, DWORD type, const std::string& bytes);
    void setDword(const std::string& key, const std::string& name, DWORD value);
    // In the 64-bit view, as a 64-bit installer writes (on 32-bit Windows, the only view).
    void setString64(const std::string& key, const std::string& name, const std::string& value);
    // CurrentVersion + the version key with JavaHome and RuntimeLib (left out when empty).
    void registerJava(const std::string& version, const std::string& javaHome, const std::string& runtimeLib,
                      const std::string& key = kJavaKey);
    static void clearAll();
};

struct Box {
    std::string caption;
    std::string text;
};

struct LaunchResult {
    DWORD exitCode = 0;
    bool timedOut = false;
    std::vector<Box> boxes;
    double seconds = 0;
};

struct Launch {
    // The complete environment of the child, besides the system variables Windows programs
    // need (SystemRoot, windir, ...), which the harness adds unless given here.
    std::map<std::string, std::string> env;
    std::wstring arguments;   // text after the program name on the command line
    std::wstring programText; // the program name as written on the command line; empty: quoted path
    std::string currentDir;   // empty: the harness's own
    std::string stderrFile;   // empty: not captured
    DWORD timeoutMs = 30000;
    bool dismissBoxes = true;
};

// Sets name in the child's environment, or leaves it out altogether when set is false.
void setVariable(Launch& launch, const std::string& name, bool set, const std::string& value);

// The usual environment of a layout: USERPROFILE, TEMP, PATH, ProgramFiles (under WOW64 the
// 32-bit program files folder), and the stand-in runtime's trace file.
Launch standardLaunch(const Layout& layout);

class RunningKorvo {
public:
    RunningKorvo(const std::string& exe, const Launch& launch);
    ~RunningKorvo();
    RunningKorvo(const RunningKorvo&) = delete;
    RunningKorvo& operator=(const RunningKorvo&) = delete;
    bool started() const { return process_ != nullptr; }
    // Waits for the end, reading and dismissing boxes as they appear.
    LaunchResult wait();
    // True when the process is still running after ms milliseconds.
    bool stillRunningAfter(DWORD ms);
    // Waits until the stand-in's trace holds line, while the process runs; false when the
    // process ended or timeoutMs passed first.
    bool waitForTraceLine(const std::string& traceFile, const std::string& line, DWORD timeoutMs = 20000);

private:
    void pollBoxes();
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    Launch launch_;
    LaunchResult result_;
    std::vector<HWND> seen_;
    DWORD startTick_ = 0;
    std::string untracedTrace_;  // the launch trace a launch without the switch must leave alone
    long long untracedTraceSize_ = -1;
};

// Called when a launch without KORVO_TRACE changed the launch trace in its profile folder; the
// test programs count it as a failure (shipped_build_check.cpp).
extern void (*untracedLaunchWroteTrace)(const std::string& traceFile);

LaunchResult runKorvo(const std::string& exe, const Launch& launch);

// Lines of the stand-in runtime's trace, and the helpers the tests use on them.
std::vector<std::string> traceLines(const std::string& traceFile);
std::vector<std::string> linesWithPrefix(const std::vector<std::string>& lines, const std::string& prefix);
bool hasLine(const std::vector<std::string>& lines, const std::string& line);
// The steps of Korvo.exe's own launch trace, each without its leading milliseconds; a line
// without them is given whole after "untimed: ".
std::vector<std::string> launchTraceSteps(const std::string& traceFile);
// Values of "option[i]=..." lines, in order.
std::vector<std::string> traceOptions(const std::vector<std::string>& lines);
// The same options as the runtime holds them, decoded (in UTF-8): "decoded[i]=..." lines.
std::vector<std::string> traceDecodedOptions(const std::vector<std::string>& lines);
// Values of "arg[i]=..." lines, in order.
std::vector<std::string> traceArgs(const std::vector<std::string>& lines);

// Expected values written out independently of the launcher's own code, so a fault there
// cannot hide in the expectation.
// The policy file of the worked example: application folder C:\Program Files\Korvo, QuickTime
// folder C:\Program Files\QuickTime\QTSystem\ (296 bytes).
extern const char kWorkedExamplePolicy[];
// A Windows path without "%" or "#" as it appears after "file:/": backslashes as slashes, blanks
// as %20. (Paths with those characters are checked against literal bytes and the JDK parser.)
std::string asUrlPath(const std::string& path);
// The nine lines of the policy file for two code bases in URL form.
std::string policyText(const std::string& appCodeBase, const std::string& quickTimeCodeBase);
// UTF-16 code units as lowercase hex, four digits each, as the stand-in's arghex lines.
std::string utf16Hex(const std::wstring& text);

// The session log record for a composed text, without its time stamp: the bytes before and
// after the 24-character stamp.
struct LogRecord {
    std::string stamp;
    std::string text;
};
// Splits a session log into its records; false when the bytes do not follow the layout.
bool parseSessionLog(const std::string& bytes, std::vector<LogRecord>& records);

}  // namespace harness

namespace harness {

// Reads and dismisses the message boxes that the test's own process shows, from a thread of
// its own, while the test calls code that shows them.
class OwnBoxWatcher {
public:
    OwnBoxWatcher();
    ~OwnBoxWatcher();
    OwnBoxWatcher(const OwnBoxWatcher&) = delete;
    OwnBoxWatcher& operator=(const OwnBoxWatcher&) = delete;
    std::vector<Box> boxes();

private:
    static DWORD WINAPI loop(LPVOID self);
    HANDLE thread_ = nullptr;
    volatile LONG stop_ = 0;
    CRITICAL_SECTION lock_;
    std::vector<Box> boxes_;
    std::vector<HWND> seen_;
};

// A folder link folder\name pointing at target (relative to folder, with slashes), made by the
// host's ln: Wine 8 answers CreateSymbolicLinkW with success but makes nothing. True when the
// link is there and reads as a folder link.
bool makeHostLink(const std::string& folder, const std::string& name, const std::string& target);
// A folder whose attributes also mark it as a link (reparse point).
bool isFolderLink(const std::string& path);

// The system's own program files folder, as the shell names it (UTF-8).
std::string systemProgramFiles();

// Sets a variable both for Win32 calls and for the C runtime's getenv; null value unsets it.
void setProcessEnv(const char* name, const char* value);

}  // namespace harness
