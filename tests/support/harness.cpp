#include "support/harness.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace harness {

namespace {

std::string fromDefine(const char* unixPath) { return unixToWindowsPath(unixPath); }

bool windowClassIs(HWND window, const char* name) {
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    return std::strcmp(className, name) == 0;
}

std::string windowText(HWND window) {
    char text[4096] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

struct BoxSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK collectBoxes(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<BoxSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && windowClassIs(window, "#32770") && IsWindowVisible(window))
        search->found.push_back(window);
    return TRUE;
}

BOOL CALLBACK findStaticText(HWND child, LPARAM parameter) {
    auto* text = reinterpret_cast<std::string*>(parameter);
    if (windowClassIs(child, "Static")) {
        const std::string value = windowText(child);
        if (!value.empty()) {
            *text = value;
            return FALSE;
        }
    }
    return TRUE;
}

std::string boxText(HWND box) {
    if (HWND item = GetDlgItem(box, 0xFFFF)) {
        const std::string text = windowText(item);
        if (!text.empty()) return text;
    }
    std::string text;
    EnumChildWindows(box, findStaticText, reinterpret_cast<LPARAM>(&text));
    return text;
}

std::wstring buildEnvironmentBlock(const std::map<std::string, std::string>& env) {
    std::map<std::wstring, std::wstring> vars;
    for (const auto& entry : env) vars[utf8ToWide(entry.first)] = utf8ToWide(entry.second);
    // What every Windows program expects, and what Wine needs to find its own prefix.
    const char* systemVars[] = {"SystemRoot", "windir", "SystemDrive", "ComSpec", "PATHEXT",
                                "WINEPREFIX", "WINEDEBUG", "WINELOADER", "WINEDLLOVERRIDES"};
    for (const char* name : systemVars) {
        char value[4096];
        const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
        const std::wstring key = utf8ToWide(name);
        if (length > 0 && length < sizeof value && vars.find(key) == vars.end())
            vars[key] = utf8ToWide(value);
    }
    std::wstring block;
    for (const auto& entry : vars) {
        block += entry.first;
        block += L'=';
        block += entry.second;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

// Size of a file, -1 when there is none.
long long fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(utf8ToWide(path).c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void reportStrayTrace(const std::string& traceFile) {
    std::fprintf(stderr, "harness: a launch without KORVO_TRACE wrote %s\n", traceFile.c_str());
}

}  // namespace

void (*untracedLaunchWroteTrace)(const std::string& traceFile) = reportStrayTrace;

std::string unixToWindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// KORVO_EXE_UNDER_TEST (a Unix path) points a test program at another file, a signed copy say.
std::string korvoExe() {
    const char* other = std::getenv("KORVO_EXE_UNDER_TEST");
    return fromDefine(other && *other ? other : KORVO_EXE_UNIX);
}
std::string standinDir() { return fromDefine(KORVO_STANDIN_UNIX); }
std::string jarsDir() { return fromDefine(KORVO_JARS_UNIX); }
std::string buildDir() { return fromDefine(KORVO_BUILD_UNIX); }
std::string avianDir() { return KORVO_AVIAN_UNIX[0] ? fromDefine(KORVO_AVIAN_UNIX) : std::string(); }

bool underWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::string wideToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size,
                        nullptr, nullptr);
    return result;
}

std::wstring utf8ToWide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size);
    return result;
}

bool exists(const std::string& path) {
    return GetFileAttributesW(utf8ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(utf8ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string readFile(const std::string& path) {
    std::string bytes;
    FILE* file = _wfopen(utf8ToWide(path).c_str(), L"rb");
    if (!file) return bytes;
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    std::fclose(file);
    return bytes;
}

void writeFile(const std::string& path, const std::string& bytes) {
    FILE* file = _wfopen(utf8ToWide(path).c_str(), L"wb");
    if (!file) {
        std::fprintf(stderr, "harness: cannot write %s\n", path.c_str());
        return;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

void makeFolders(const std::string& path) {
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryW(utf8ToWide(path.substr(0, i)).c_str(), nullptr);
    }
}

void removeTree(const std::string& path) {
    const std::wstring wide = utf8ToWide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(wide.c_str());
        return;
    }
    // A link is removed itself; what it points to is left alone.
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        for (const std::string& name : listFolder(path)) removeTree(path + "\\" + name);
    }
    RemoveDirectoryW(wide.c_str());
}

void copyFile(const std::string& from, const std::string& to) {
    if (!CopyFileW(utf8ToWide(from).c_str(), utf8ToWide(to).c_str(), FALSE))
        std::fprintf(stderr, "harness: cannot copy %s to %s\n", from.c_str(), to.c_str());
}

std::vector<std::string> listFolder(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(utf8ToWide(path + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = wideToUtf8(entry.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

Layout makeLayout(const std::string& name, const std::string& appSubdir) {
    Layout layout;
    layout.root = "C:\\kt\\" + name;
    removeTree(layout.root);
    layout.appDir = layout.root + "\\" + appSubdir;
    layout.exe = layout.appDir + "\\Korvo.exe";
    layout.profile = layout.root + "\\Users\\user1";
    layout.temp = layout.root + "\\Temp";
    layout.programFiles = layout.root + "\\Program Files";
    layout.trace = layout.root + "\\trace.txt";
    layout.stderrFile = layout.root + "\\stderr.txt";
    for (const std::string& folder : {layout.appDir, layout.profile, layout.temp, layout.programFiles})
        makeFolders(folder);
    copyFile(korvoExe(), layout.exe);
    return layout;
}

std::string installPrivateRuntime(const std::string& runtimeRoot, bool withCLibrary) {
    const std::string runtime = runtimeRoot + "\\jre1.6.0_02";
    makeFolders(runtime + "\\bin\\client");
    copyFile(standinDir() + "\\jvm.dll", runtime + "\\bin\\client\\jvm.dll");
    if (withCLibrary) copyFile(standinDir() + "\\msvcr71.dll", runtime + "\\bin\\msvcr71.dll");
    return runtime;
}

std::string installAvianRuntime(const std::string& runtimeRoot) {
    const std::string runtime = runtimeRoot + "\\jre1.6.0_02";
    makeFolders(runtime + "\\bin\\client");
    copyFile(avianDir() + "\\jre1.6.0_02\\bin\\client\\jvm.dll", runtime + "\\bin\\client\\jvm.dll");
    return runtime;
}

void installMainJar(const std::string& appDir) {
    copyFile(jarsDir() + "\\Korvo.jar", appDir + "\\Korvo.jar");
}

const char* const Registry::kMakerKey = "SOFTWARE\\Halvesta";
const char* const Registry::kJavaKey = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const char* const Registry::kJreKey = "SOFTWARE\\JavaSoft\\JRE";
const char* const Registry::kJdkKey = "SOFTWARE\\JavaSoft\\JDK";
const char* const Registry::kQuickTimeKey = "SOFTWARE\\Apple Computer, Inc.\\QuickTime";

Registry::Registry() { clearAll(); }
Registry::~Registry() { clearAll(); }

void Registry::clearAll() {
    for (const char* key : {kMakerKey, kJavaKey, kJreKey, kJdkKey, kQuickTimeKey})
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, key);
    // What a 64-bit installer left in the 64-bit view (only WOW64 has one).
    HKEY javaSoft = nullptr;
    if (underWow64() && RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                                      &javaSoft) == ERROR_SUCCESS) {
        for (const char* key : {"Java Runtime Environment", "JRE", "JDK"}) RegDeleteTreeA(javaSoft, key);
        RegCloseKey(javaSoft);
    }
}

void Registry::setString64(const std::string& key, const std::string& name, const std::string& value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(handle);
}

void Registry::createKey(const std::string& key) {
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &handle, nullptr) == ERROR_SUCCESS)
        RegCloseKey(handle);
}

void Registry::setRaw(const std::string& key, const std::string& name, DWORD type, const std::string& bytes) {
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "harness: cannot create key %s\n", key.c_str());
        return;
    }
    RegSetValueExA(handle, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(handle);
}

void Registry::setString(const std::string& key, const std::string& name, const std::string& value) {
    setRaw(key, name, REG_SZ, std::string(value.c_str(), value.size() + 1));
}

void Registry::setDword(const std::string& key, const std::string& name, DWORD value) {
    setRaw(key, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

void Registry::registerJava(const std::string& version, const std::string& javaHome,
                            const std::string& runtimeLib, const std::string& key) {
    setString(key, "CurrentVersion", version);
    const std::string versionKey = key + "\\" + version;
    setString(versionKey, "JavaHome", javaHome);
    if (!runtimeLib.empty()) setString(versionKey, "RuntimeLib", runtimeLib);
}

void setVariable(Launch& launch, const std::string& name, bool set, const std::string& value) {
    if (set)
        launch.env[name] = value;
    else
        launch.env.erase(name);
}

Launch standardLaunch(const Layout& layout) {
    Launch launch;
    launch.env["USERPROFILE"] = layout.profile;
    launch.env["TEMP"] = layout.temp;
    launch.env["PATH"] = "C:\\windows\\system32;C:\\windows";
    launch.env["ProgramFiles"] = layout.programFiles;
    // Under WOW64 the launch gets what every 32-bit process there sees (Wine sets it in this one).
    char programFiles[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("ProgramFiles", programFiles, sizeof programFiles);
    if (underWow64() && length > 0 && length < sizeof programFiles) launch.env["ProgramFiles"] = programFiles;
    launch.env["KORVO_STANDIN_TRACE"] = layout.trace;
    launch.stderrFile = layout.stderrFile;
    return launch;
}

RunningKorvo::RunningKorvo(const std::string& exe, const Launch& launch) : launch_(launch) {
    const std::wstring application = utf8ToWide(exe);
    std::wstring commandLine =
        launch.programText.empty() ? L"\"" + application + L"\"" : launch.programText;
    if (!launch.arguments.empty()) commandLine += L" " + launch.arguments;
    std::wstring environment = buildEnvironmentBlock(launch.env);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    HANDLE errorFile = INVALID_HANDLE_VALUE;
    if (!launch.stderrFile.empty()) {
        SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
        errorFile = CreateFileW(utf8ToWide(launch.stderrFile).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
        if (errorFile != INVALID_HANDLE_VALUE) {
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
            startup.hStdOutput = errorFile;
            startup.hStdError = errorFile;
        }
    }
    const auto traceSwitch = launch.env.find("KORVO_TRACE");
    const auto profile = launch.env.find("USERPROFILE");
    const bool traced = traceSwitch != launch.env.end() && !traceSwitch->second.empty() && traceSwitch->second != "0";
    if (!traced && profile != launch.env.end() && !profile->second.empty()) {
        untracedTrace_ = profile->second + "\\Logs\\Korvo Launch Trace.txt";
        untracedTraceSize_ = fileSize(untracedTrace_);
    }
    const std::wstring currentDir = utf8ToWide(launch.currentDir);
    PROCESS_INFORMATION info = {};
    startTick_ = GetTickCount();
    if (CreateProcessW(application.c_str(), &commandLine[0], nullptr, nullptr, errorFile != INVALID_HANDLE_VALUE,
                       CREATE_UNICODE_ENVIRONMENT, &environment[0],
                       currentDir.empty() ? nullptr : currentDir.c_str(), &startup, &info)) {
        process_ = info.hProcess;
        processId_ = info.dwProcessId;
        CloseHandle(info.hThread);
    } else {
        std::fprintf(stderr, "harness: cannot start %s (error %lu)\n", exe.c_str(), GetLastError());
    }
    if (errorFile != INVALID_HANDLE_VALUE) CloseHandle(errorFile);
}

RunningKorvo::~RunningKorvo() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 0xDEAD);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
}

void RunningKorvo::pollBoxes() {
    BoxSearch search = {processId_, {}};
    EnumWindows(collectBoxes, reinterpret_cast<LPARAM>(&search));
    for (HWND box : search.found) {
        if (std::find(seen_.begin(), seen_.end(), box) != seen_.end()) continue;
        // The text control may be filled a moment after the window shows.
        std::string text = boxText(box);
        for (int i = 0; i < 25 && text.empty(); ++i) {
            Sleep(20);
            text = boxText(box);
        }
        seen_.push_back(box);
        result_.boxes.push_back({windowText(box), text});
        if (launch_.dismissBoxes) PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
}

bool RunningKorvo::stillRunningAfter(DWORD ms) {
    if (!process_) return false;
    const DWORD until = GetTickCount() + ms;
    while (static_cast<LONG>(until - GetTickCount()) > 0) {
        if (WaitForSingleObject(process_, 20) == WAIT_OBJECT_0) return false;
        pollBoxes();
    }
    return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool RunningKorvo::waitForTraceLine(const std::string& traceFile, const std::string& line, DWORD timeoutMs) {
    const DWORD until = GetTickCount() + timeoutMs;
    while (static_cast<LONG>(until - GetTickCount()) > 0) {
        if (hasLine(traceLines(traceFile), line)) return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
        if (!stillRunningAfter(50)) return false;
    }
    return false;
}

LaunchResult RunningKorvo::wait() {
    if (!process_) {
        result_.exitCode = 0xFFFFFFFF;
        return result_;
    }
    for (;;) {
        if (WaitForSingleObject(process_, 20) == WAIT_OBJECT_0) break;
        pollBoxes();
        if (GetTickCount() - startTick_ > launch_.timeoutMs) {
            result_.timedOut = true;
            TerminateProcess(process_, 0xDEAD);
            WaitForSingleObject(process_, 5000);
            break;
        }
    }
    GetExitCodeProcess(process_, &result_.exitCode);
    if (!untracedTrace_.empty() && fileSize(untracedTrace_) != untracedTraceSize_)
        untracedLaunchWroteTrace(untracedTrace_);
    result_.seconds = (GetTickCount() - startTick_) / 1000.0;
    return result_;
}

LaunchResult runKorvo(const std::string& exe, const Launch& launch) {
    RunningKorvo running(exe, launch);
    return running.wait();
}

std::vector<std::string> traceLines(const std::string& traceFile) {
    std::vector<std::string> lines;
    const std::string bytes = readFile(traceFile);
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        // Java's own CR LF goes through the C runtime's text mode and arrives as CR CR LF.
        while (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> launchTraceSteps(const std::string& traceFile) {
    std::vector<std::string> steps;
    for (const std::string& line : traceLines(traceFile)) {
        const size_t digits = line.find_first_not_of(' ');
        const size_t unit = line.find(" ms  ");
        const bool timed = digits < unit && unit != std::string::npos &&
                           line.find_first_not_of("0123456789", digits) == unit;
        steps.push_back(timed ? line.substr(unit + 5) : "untimed: " + line);
    }
    return steps;
}

std::vector<std::string> linesWithPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : lines)
        if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
    return found;
}

bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

namespace {

std::vector<std::string> indexedValues(const std::vector<std::string>& lines, const std::string& name) {
    std::vector<std::string> values;
    const std::string prefix = name + "[";
    for (const std::string& line : lines) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        const size_t equals = line.find("]=");
        if (equals == std::string::npos) continue;
        values.push_back(line.substr(equals + 2));
    }
    return values;
}

}  // namespace

std::vector<std::string> traceOptions(const std::vector<std::string>& lines) {
    return indexedValues(lines, "option");
}

std::vector<std::string> traceDecodedOptions(const std::vector<std::string>& lines) {
    return indexedValues(lines, "decoded");
}

std::vector<std::string> traceArgs(const std::vector<std::string>& lines) {
    return indexedValues(lines, "arg");
}

const char kWorkedExamplePolicy[] =
    "//Give this directory security permissions\r\n"
    "grant codeBase \"file:/C:/Program%20Files/Korvo/-\" {\r\n"
    "\tpermission java.security.AllPermission;\r\n"
    "};\r\n"
    "\r\n"
    "//Give QuickTime security permissions\r\n"
    "grant codeBase \"file:/C:/Program%20Files/QuickTime/QTSystem/-\" {\r\n"
    "\tpermission java.security.AllPermission;\r\n"
    "};\r\n";

std::string asUrlPath(const std::string& path) {
    std::string url;
    for (const char c : path) {
        if (c == '\\')
            url += '/';
        else if (c == ' ')
            url += "%20";
        else
            url += c;
    }
    return url;
}

std::string policyText(const std::string& appCodeBase, const std::string& quickTimeCodeBase) {
    return "//Give this directory security permissions\r\n"
           "grant codeBase \"file:/" + appCodeBase + "-\" {\r\n"
           "\tpermission java.security.AllPermission;\r\n"
           "};\r\n"
           "\r\n"
           "//Give QuickTime security permissions\r\n"
           "grant codeBase \"file:/" + quickTimeCodeBase + "-\" {\r\n"
           "\tpermission java.security.AllPermission;\r\n"
           "};\r\n";
}

std::string utf16Hex(const std::wstring& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const wchar_t c : text) {
        const unsigned unit = static_cast<unsigned>(c) & 0xFFFFu;
        for (int shift = 12; shift >= 0; shift -= 4) hex += kHex[(unit >> shift) & 0xF];
    }
    return hex;
}

bool parseSessionLog(const std::string& bytes, std::vector<LogRecord>& records) {
    const std::string head = "\r\n##### ";
    const std::string tail = "\r\n\r\n##############################\r\n\r\n";
    size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.compare(at, head.size(), head) != 0) return false;
        at += head.size();
        if (bytes.size() < at + 24 + 4) return false;
        LogRecord record;
        record.stamp = bytes.substr(at, 24);
        at += 24;
        if (bytes.compare(at, 4, "\r\n\r\n") != 0) return false;
        at += 4;
        const size_t end = bytes.find(tail, at);
        if (end == std::string::npos) return false;
        record.text = bytes.substr(at, end - at);
        records.push_back(record);
        at = end + tail.size();
    }
    return true;
}

}  // namespace harness

namespace harness {

OwnBoxWatcher::OwnBoxWatcher() {
    InitializeCriticalSection(&lock_);
    thread_ = CreateThread(nullptr, 0, loop, this, 0, nullptr);
}

OwnBoxWatcher::~OwnBoxWatcher() {
    InterlockedExchange(&stop_, 1);
    WaitForSingleObject(thread_, 5000);
    CloseHandle(thread_);
    DeleteCriticalSection(&lock_);
}

std::vector<Box> OwnBoxWatcher::boxes() {
    EnterCriticalSection(&lock_);
    std::vector<Box> copy = boxes_;
    LeaveCriticalSection(&lock_);
    return copy;
}

DWORD WINAPI OwnBoxWatcher::loop(LPVOID parameter) {
    auto* self = static_cast<OwnBoxWatcher*>(parameter);
    while (!self->stop_) {
        BoxSearch search = {GetCurrentProcessId(), {}};
        EnumWindows(collectBoxes, reinterpret_cast<LPARAM>(&search));
        for (HWND box : search.found) {
            if (std::find(self->seen_.begin(), self->seen_.end(), box) != self->seen_.end()) continue;
            std::string text = boxText(box);
            for (int i = 0; i < 25 && text.empty(); ++i) {
                Sleep(20);
                text = boxText(box);
            }
            self->seen_.push_back(box);
            EnterCriticalSection(&self->lock_);
            self->boxes_.push_back({windowText(box), text});
            LeaveCriticalSection(&self->lock_);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
        Sleep(20);
    }
    return 0;
}

bool makeHostLink(const std::string& folder, const std::string& name, const std::string& target) {
    makeFolders(folder);
    std::wstring command = L"/bin/ln -sfn " + utf8ToWide(target) + L" " + utf8ToWide(name);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(L"Z:\\bin\\ln", &command[0], nullptr, nullptr, FALSE, 0, nullptr, utf8ToWide(folder).c_str(),
                       &startup, &info)) {
        WaitForSingleObject(info.hProcess, 10000);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
    // The host program may still be running when its Windows handle reports the end.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (isFolderLink(folder + "\\" + name)) return true;
        Sleep(20);
    }
    return false;
}

bool isFolderLink(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(utf8ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string systemProgramFiles() {
    wchar_t folder[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) return "";
    return wideToUtf8(folder);
}

std::string realPath(const std::string& ansiPath) {
    if (ansiPath.empty()) return std::string();
    const int size = MultiByteToWideChar(CP_ACP, 0, ansiPath.data(), static_cast<int>(ansiPath.size()), nullptr, 0);
    std::wstring wide(size > 0 ? size : 0, L'\0');
    if (size > 0) MultiByteToWideChar(CP_ACP, 0, ansiPath.data(), static_cast<int>(ansiPath.size()), &wide[0], size);
    return longPath(wide);
}

std::string longPath(const std::wstring& path) {
    wchar_t full[32768];
    const DWORD length = GetLongPathNameW(path.c_str(), full, 32768);
    return length > 0 && length < 32768 ? wideToUtf8(std::wstring(full, length)) : std::string();
}

void setProcessEnv(const char* name, const char* value) {
    SetEnvironmentVariableA(name, value);
    _putenv_s(name, value ? value : "");
}

}  // namespace harness
