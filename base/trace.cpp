#include "base/trace.h"

#include <direct.h>

#include <cstring>

#include "base/clock.h"
#include "base/logs_folder.h"
#include "base/wide_path.h"

namespace {

const wchar_t kTraceFileName[] = L"\\Korvo Launch Trace.txt";
// A 32-bit program sees the 32-bit registry view; the 64-bit twin the 64-bit one.
const char* const kRegistryView = sizeof(void*) == 4 ? "32-bit view" : "64-bit view";

HANDLE traceFile = INVALID_HANDLE_VALUE;
unsigned long long processStart = 0;  // 100-nanosecond ticks, as the system keeps them
LARGE_INTEGER counterFrequency = {};
LARGE_INTEGER phaseStart = {};

// The registry keys the launch opened, so a value read can name its key.
struct OpenKey {
    HKEY key;
    std::string path;
};
OpenKey openKeys[8];  // the launch opens at most four
size_t openKeyCount = 0;

// Decimal digits, with a minus sign when negative; one function for every number the trace
// writes keeps the executable small.
std::string number(unsigned long long magnitude, bool negative) {
    char digits[24];
    size_t at = sizeof digits;
    do {
        digits[--at] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude && at > 1);
    if (negative) digits[--at] = '-';
    return std::string(digits + at, sizeof digits - at);
}

std::string number(long long value) {
    return number(value < 0 ? 0ull - static_cast<unsigned long long>(value) : value, value < 0);
}

// Four hexadecimal digits, upper case.
std::string hex4(unsigned value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (int shift = 12; shift >= 0; shift -= 4) text += kHex[(value >> shift) & 0xF];
    return text;
}

// A little-endian 16-bit field.
unsigned word(const unsigned char* bytes) { return bytes[0] | (bytes[1] << 8); }

// The caller's last error, given back when the trace step ends: the launch may look at it after
// a step it traces, and the step's own system calls would change it.
class LastErrorKept {
public:
    LastErrorKept() : code(GetLastError()) {}
    ~LastErrorKept() { SetLastError(code); }
    LastErrorKept(const LastErrorKept&) = delete;
    LastErrorKept& operator=(const LastErrorKept&) = delete;
    const DWORD code;
};

// A piece as the line shows it. In every ANSI code page, double-byte and UTF-8 ones included, a
// byte below 0x20 or 0x7F is a character of its own, never part of another.
void appendShown(std::string& line, std::string_view piece) {
    for (const char c : piece) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            line += "\\u";
            line += hex4(byte);
        } else {
            line += c;
        }
    }
}

// rest * 10 = digit * frequency + remainder, for rest below frequency: the digit is returned, the
// remainder left in rest. Ten additions reduced modulo frequency, so rest * 10 is never formed.
unsigned nextDecimal(unsigned long long& rest, unsigned long long frequency) {
    unsigned digit = 0;
    unsigned long long sum = 0;
    for (int i = 0; i < 10; ++i) {
        const unsigned long long room = frequency - sum;  // sum stays below frequency
        if (rest >= room) {
            sum = rest - room;
            ++digit;
        } else {
            sum += rest;
        }
    }
    rest = sum;
    return digit;
}

unsigned long long fileTimeTicks(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::string quoted(std::string_view text) {
    std::string result = "\"";
    result.append(text.data(), text.size());
    result += '"';
    return result;
}

// "error <code>: <the system's text>", the text without its line end.
std::string errorText(DWORD code) {
    std::string text = "error " + number(code) + ": ";
    char message[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), message, sizeof message, nullptr);
    if (length >= sizeof message) length = 0;
    while (length > 0 && (message[length - 1] == '\r' || message[length - 1] == '\n' || message[length - 1] == ' '))
        --length;
    if (length == 0) return text + "the system has no text for it";
    return text.append(message, length);
}

// What the first bytes of a file say about the machine it was built for.
std::string fileMachineText(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "the file cannot be read";
    unsigned char head[4096];
    DWORD got = 0;
    const BOOL read = ReadFile(file, head, sizeof head, &got, nullptr);
    CloseHandle(file);
    unsigned machine = 0;
    if (!read || got > sizeof head || !peMachineType(head, got, machine)) return "the file is not a PE image";
    return "the file's machine type: " + machineTypeName(machine);
}

std::string ownVersion() {
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));  // the version record
    HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
    const void* record = loaded ? LockResource(loaded) : nullptr;
    const std::string version =
        record ? fixedFileVersion(static_cast<const unsigned char*>(record), SizeofResource(nullptr, resource)) : "";
    return version.empty() ? "none (no version record)" : version;
}

// Looked up rather than imported: neither is there on every Windows this program starts on.
std::string windowsText() {
    typedef LONG(WINAPI * RtlGetVersionFn)(OSVERSIONINFOW*);
    typedef BOOL(WINAPI * IsWow64ProcessFn)(HANDLE, BOOL*);
    const auto getVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    const auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    std::string text = "Windows ";
    if (getVersion && getVersion(&info) == 0)
        text += number(info.dwMajorVersion) + "." + number(info.dwMinorVersion) + " build " +
                number(info.dwBuildNumber);
    else
        text += "version unknown";
    BOOL wow64 = FALSE;
    if (isWow64 && !isWow64(GetCurrentProcess(), &wow64)) wow64 = FALSE;
    text += sizeof(void*) == 4 ? ", 32-bit process" : ", 64-bit process";
    text += wow64 ? " under WOW64 (64-bit Windows)" : ", not under WOW64";
    return text;
}

// A value read in its wide form, as the trace shows it: quoted, a character the ANSI code page
// lacks as \uXXXX, and then the short form or UTF-8 bytes it was handed on in, when it had to be.
std::string traceText(const std::wstring& value) {
    std::string ansi;
    if (exactAnsi(value, ansi)) return quoted(ansi);
    // Characters the code page lacks as \uXXXX, so the line stays in the trace's code page.
    std::string shown;
    for (const wchar_t c : value) {
        std::string bytes;
        if (exactAnsi(std::wstring(1, c), bytes)) {
            shown += bytes;
        } else {
            shown += "\\u" + hex4(c);
        }
    }
    if (heldAnsiPath(value, ansi)) return quoted(shown) + ", handed on as its short form " + quoted(ansi);
    return quoted(shown) +
           (ansiPath(value, ansi) ? ", handed on as its UTF-8 bytes" : ", which the ANSI code page cannot name");
}

}  // namespace

bool traceEnabled() { return traceFile != INVALID_HANDLE_VALUE; }

void traceStart() {
    const LastErrorKept kept;
    char value[4] = {};
    const DWORD length = GetEnvironmentVariableA("KORVO_TRACE", value, sizeof value);
    if (length == 0 || (length == 1 && value[0] == '0')) return;

    // Beside the session log, in the true profile folder whatever the ANSI code page holds.
    std::wstring profile, logsDir, sessionLog;
    if (!readEnvironment(L"USERPROFILE", profile) || !sessionLogPaths(profile, logsDir, sessionLog)) return;
    _wmkdir(logsDir.c_str());  // one level; an existing folder is fine
    // Appending whole lines, so two launches tracing at once do not cut into each other's lines.
    // The file stays open while the application runs; its user may still delete it meanwhile.
    traceFile = CreateFileW((logsDir + kTraceFileName).c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (traceFile == INVALID_HANDLE_VALUE) return;

    FILETIME creation, exit, kernel, user;
    if (GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user)) processStart = fileTimeTicks(creation);
    QueryPerformanceFrequency(&counterFrequency);

    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH - 1);
    // The process id tells apart the lines of two launches tracing at the same time.
    traceLine({"Korvo launch trace, ", formatTimeStamp(localTimeFields(sessionLogClock())), " (local time), process ",
               number(GetCurrentProcessId())});
    traceLine({"program ", traceText(program), ", version ", ownVersion()});
    traceLine({windowsText()});
    traceLine({"ANSI code page ", number(GetACP())});
    traceEnvironment();
    // The phases are the launch's own; writing the header is not one of them.
    QueryPerformanceCounter(&phaseStart);
}

void traceLine(std::initializer_list<std::string_view> pieces) {
    if (!traceEnabled()) return;
    const LastErrorKept kept;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks = fileTimeTicks(now);
    std::string line = number(ticks > processStart ? (ticks - processStart) / 10000 : 0);
    if (line.size() < 6) line.insert(0, 6 - line.size(), ' ');
    line += " ms  ";
    for (const std::string_view piece : pieces) appendShown(line, piece);
    line += "\r\n";
    DWORD written = 0;
    WriteFile(traceFile, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void traceEnvironment() {
    if (!traceEnabled()) return;
    const LastErrorKept kept;
    for (const wchar_t* name : {L"USERPROFILE", L"TEMP", L"PATH", L"ProgramFiles"}) {
        std::string ansiName;
        exactAnsi(name, ansiName);
        std::wstring value;
        if (!readEnvironment(name, value)) {
            traceLine({"environment ", ansiName, " not set"});
        } else if (value.empty()) {
            traceLine({"environment ", ansiName, " empty"});
        } else {
            traceLine({"environment ", ansiName, "=", traceText(value)});
        }
    }
}

void tracePhase(const char* name) {
    if (!traceEnabled()) return;
    const LastErrorKept kept;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const unsigned long long ticks = now.QuadPart > phaseStart.QuadPart
                                         ? static_cast<unsigned long long>(now.QuadPart) -
                                               static_cast<unsigned long long>(phaseStart.QuadPart)
                                         : 0;
    phaseStart = now;
    const unsigned long long frequency = counterFrequency.QuadPart > 0 ? counterFrequency.QuadPart : 0;
    traceLine({"phase ", name, ": ", durationText(ticks, frequency), " ms"});
}

bool traceGuard(bool acquired, const char* mutexName) {
    if (!traceEnabled()) return acquired;
    if (acquired)
        traceLine({"guard: acquired the mutex ", quoted(mutexName), ", held for 30 s"});
    else
        traceLine({"guard: refused: another start holds the mutex ", quoted(mutexName),
                   " (started less than 30 s ago); ending silently"});
    return acquired;
}

int traceExit(int code) {
    if (!traceEnabled()) return code;
    traceLine({"exit code ", number(code)});
    // The launch's last line: the trace is off from here on, as before traceStart.
    const LastErrorKept kept;
    CloseHandle(traceFile);
    traceFile = INVALID_HANDLE_VALUE;
    openKeyCount = 0;
    return code;
}

bool traceCandidate(const char* what, const char* path, bool exists) {
    if (!traceEnabled()) return exists;
    if (!path[0])
        traceLine({"runtime: ", what, ": passed over: none (unreadable, empty or not an absolute path)"});
    else
        traceLine({"runtime: ", what, " ", quoted(path),
                   exists ? ": taken: it exists" : ": passed over: it does not exist"});
    return exists;
}

HMODULE traceLoad(const char* path, HMODULE module) {
    if (!traceEnabled()) return module;
    const LastErrorKept loadError;
    if (module)
        traceLine({"load ", quoted(path), ": loaded"});
    else
        traceLine({"load ", quoted(path), ": failed, ", errorText(loadError.code), "; ", fileMachineText(path)});
    return module;
}

void traceRegistryOpen(const char* path, HKEY key, LONG status) {
    if (!traceEnabled()) return;
    const LastErrorKept kept;
    if (status == ERROR_SUCCESS && openKeyCount < sizeof openKeys / sizeof openKeys[0])
        openKeys[openKeyCount++] = {key, path};
    traceLine({"registry: open HKLM\\", path, " (", kRegistryView, "): ",
               status == ERROR_SUCCESS ? std::string("opened") : errorText(status)});
}

namespace {

// The read's outcome when it is not a string; empty when it is one.
std::string registryFailure(LONG status, DWORD type) {
    if (status != ERROR_SUCCESS) return errorText(status);
    if (type != REG_SZ && type != REG_EXPAND_SZ) return "not a string (type " + number(type) + "), read as none";
    return std::string();
}

void registryReadLine(HKEY key, const char* name, const std::string& result) {
    std::string_view keyPath = "(a key not traced)";
    for (size_t i = 0; i < openKeyCount; ++i)
        if (openKeys[i].key == key) keyPath = openKeys[i].path;
    traceLine({"registry: read HKLM\\", keyPath, " value ", quoted(name), " (", kRegistryView, "): ", result});
}

}  // namespace

void traceRegistryRead(HKEY key, const char* name, LONG status, DWORD type, const char* data, DWORD size) {
    if (!traceEnabled()) return;
    const LastErrorKept kept;
    std::string result = registryFailure(status, type);
    if (result.empty()) {
        const void* end = std::memchr(data, '\0', size);
        result = quoted(std::string_view(data, end ? static_cast<const char*>(end) - data : size));
    }
    registryReadLine(key, name, result);
}

void traceRegistryRead(HKEY key, const char* name, LONG status, DWORD type, const std::wstring& value) {
    if (!traceEnabled()) return;
    const LastErrorKept kept;
    const std::string failure = registryFailure(status, type);
    registryReadLine(key, name, failure.empty() ? traceText(value) : failure);
}

void tracePath(const char* what, const std::wstring& path, std::string_view outcome) {
    if (!traceEnabled()) return;
    const LastErrorKept kept;
    traceLine({what, traceText(path), outcome});
}

void traceNumber(const char* what, long value) {
    if (traceEnabled()) traceLine({what, number(value)});
}

void traceOption(int index, const std::string& text) {
    if (traceEnabled()) traceLine({"vm: option ", number(index), ": ", text});
}

std::string durationText(unsigned long long ticks, unsigned long long frequency) {
    if (frequency == 0) return "0.00";
    const unsigned long long seconds = ticks / frequency;
    unsigned long long rest = ticks % frequency;
    // The second's fraction to five places: milliseconds and their hundredths.
    char places[5];
    for (char& place : places) place = static_cast<char>('0' + nextDecimal(rest, frequency));
    std::string text;
    if (seconds > 0) {
        text = number(seconds, false);
        text.append(places, 3);
    } else {
        size_t first = 0;
        while (first < 2 && places[first] == '0') ++first;
        text.assign(places + first, 3 - first);
    }
    text += '.';
    text.append(places + 3, 2);
    return text;
}

bool peMachineType(const unsigned char* bytes, size_t size, unsigned& machine) {
    if (!bytes || size < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return false;
    const size_t offset = bytes[0x3C] | (bytes[0x3D] << 8) | (static_cast<size_t>(bytes[0x3E]) << 16) |
                          (static_cast<size_t>(bytes[0x3F]) << 24);
    if (offset > size || size - offset < 6) return false;
    if (std::memcmp(bytes + offset, "PE\0\0", 4) != 0) return false;
    machine = word(bytes + offset + 4);
    return true;
}

std::string machineTypeName(unsigned machine) {
    switch (machine) {
    case 0x014C: return "i386 (32-bit)";
    case 0x8664: return "x86-64 (64-bit)";
    case 0xAA64: return "ARM64 (64-bit)";
    case 0x0200: return "IA-64 (64-bit)";
    case 0x01C4: return "ARM (32-bit)";
    }
    return "unknown (0x" + hex4(machine) + ")";
}

std::string fixedFileVersion(const unsigned char* record, size_t size) {
    // The fixed part starts with its signature, 0xFEEF04BD, on a 32-bit boundary; the file
    // version follows the structure version, most significant half first.
    if (!record) return "";
    for (size_t at = 0; at + 16 <= size; at += 4) {
        if (record[at] != 0xBD || record[at + 1] != 0x04 || record[at + 2] != 0xEF || record[at + 3] != 0xFE) continue;
        const unsigned char* v = record + at + 8;
        return number(word(v + 2)) + "." + number(word(v)) + "." + number(word(v + 6)) + "." +
               number(word(v + 4));
    }
    return "";
}
