// Stand-in jvm.dll for the launcher tests. It implements the handful of invocation and JNI
// calls the launcher makes, records each of them in a trace file, and turns every other call
// into a loud failure so that a launcher using more of JNI than intended is caught at once.
//
// Environment (read when JNI_CreateJavaVM runs):
//   KORVO_STANDIN_TRACE    file to append trace lines to (unset: no trace)
//   KORVO_STANDIN_MODE     comma-separated: fail-create[=<code>], no-main, no-string, throw,
//                          block, thread, native=<name>[+<name>...] (main loads each library
//                          by full path from the first java.library.path entry holding it),
//                          process (how Windows set up the process: see traceProcess),
//                          desktop (main has the runtime load its bin\awt.dll by full path, as
//                          a desktop application's first window does; later runtimes only)
//   KORVO_STANDIN_RELEASE  file whose appearance ends `block` and `thread`
//   KORVO_STANDIN_JAVA     the Java version whose decoding of option text the stand-in follows:
//                          <feature>[.<interim>.<update>], e.g. 8, 17.0.4, 21; default 6, the
//                          version the private runtime's folder jre1.6.0_02 names
//   KORVO_STANDIN_SYSTEM_LOCALE  the system locale (hex, e.g. 0409) that version takes its legacy
//                          code page from, in place of the system's own (see optionCodePage)
//
// Exit codes of deliberate failures: 134 FatalError, 99 unimplemented slot,
// 98 bad handle or argument, 97 bad test setup.
//
// Built twice: normally, and with STANDIN_NO_CREATE_EXPORT for a DLL that lacks the
// JNI_CreateJavaVM export. Like a real runtime's, it imports msvcr71.dll, so it loads only where
// that library is already loaded or found by the system's search. The later runtimes' variants
// (STANDIN_RUNTIME_BOOT) import winmm.dll too, and inside JNI_CreateJavaVM load their home's
// bin\verify.dll and bin\java.dll by full path, as a real runtime does.
#ifndef STANDIN_NO_CREATE_EXPORT
#define _JNI_IMPLEMENTATION_
#endif
#include <jni.h>

#include <windows.h>
#ifdef STANDIN_RUNTIME_BOOT
#include <mmsystem.h>
#endif

#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "standin_common.h"

extern "C" __declspec(dllimport) int KorvoStandinMsvcr71(void);

namespace {

const char kMainClass[] = "com/qzm/korvo/Korvo";
const char kMainSig[] = "([Ljava/lang/String;)V";
const char kStringClass[] = "java/lang/String";
// The largest array the stand-in agrees to make; the launcher passes a handful of arguments.
const jint kMaxArrayLength = 1 << 20;

HMODULE g_self = nullptr;
std::wstring g_tracePath;
SRWLOCK g_traceLock = SRWLOCK_INIT;

void trace(const std::string& line) {
    AcquireSRWLockExclusive(&g_traceLock);
    standin::appendLine(g_tracePath, line);
    ReleaseSRWLockExclusive(&g_traceLock);
}

std::string num(long long value) { return std::to_string(value); }

std::string orNull(const char* text) { return text ? std::string(text) : std::string("<null>"); }

[[noreturn]] void die(const std::string& line, UINT code) {
    trace(line);
    standin::writeStderr(line + "\n");
    ExitProcess(code);
}

// ---- objects --------------------------------------------------------------------------
// Every handle given out points at one of these; handles coming back are looked up in
// g_live before use, so a bogus handle is reported instead of dereferenced.

enum class Kind { Class, String, Array, Throwable };

struct Obj {
    explicit Obj(Kind k) : kind(k) {}
    virtual ~Obj() = default;
    Kind kind;
};
struct ClassObj : Obj {
    explicit ClassObj(std::string n) : Obj(Kind::Class), name(std::move(n)) {}
    std::string name;  // slash form
};
struct StringObj : Obj {
    StringObj() : Obj(Kind::String) {}
    std::u16string units;
};
struct ArrayObj : Obj {
    ArrayObj(ClassObj* cls, size_t length, Obj* init)
        : Obj(Kind::Array), elementClass(cls), elements(length, init) {}
    ClassObj* elementClass;
    std::vector<Obj*> elements;
};
struct ThrowableObj : Obj {
    ThrowableObj(std::string c, std::string m)
        : Obj(Kind::Throwable), className(std::move(c)), message(std::move(m)) {}
    std::string className;  // dotted form, as printed
    std::string message;
};

// Objects live as long as the process: the launcher never deletes references.
std::vector<std::unique_ptr<Obj>> g_objects;
std::set<const void*> g_live;

template <class T>
T* keep(std::unique_ptr<T> obj) {
    T* raw = obj.get();
    g_live.insert(static_cast<const Obj*>(raw));
    g_objects.push_back(std::move(obj));
    return raw;
}

Obj* lookup(const void* handle, const char* fn) {
    if (handle == nullptr) return nullptr;
    if (g_live.count(handle) == 0) die(std::string("BAD HANDLE ") + fn, 98);
    return const_cast<Obj*>(static_cast<const Obj*>(handle));
}

template <class T>
T* require(const void* handle, Kind kind, const char* fn, const char* what) {
    Obj* obj = lookup(handle, fn);
    if (obj == nullptr) die(std::string("BAD ARGUMENT ") + fn + ": null " + what, 98);
    if (obj->kind != kind) die(std::string("BAD ARGUMENT ") + fn + ": not a " + what, 98);
    return static_cast<T*>(obj);
}

// ---- state ------------------------------------------------------------------------------

struct Modes {
    bool failCreate = false;
    jint failCode = JNI_ERR;
    bool noMain = false;
    bool noString = false;
    bool throwInMain = false;
    bool block = false;
    bool thread = false;
    bool process = false;
    bool desktop = false;
    std::vector<std::string> nativeLibraries;
};

Modes g_modes;
bool g_created = false;
bool g_destroyed = false;
std::vector<std::string> g_classPath;
std::vector<std::string> g_libraryPath;
ThrowableObj* g_pending = nullptr;
std::vector<ClassObj*> g_classes;
std::vector<HANDLE> g_threads;
char g_mainMethod;  // its address is the jmethodID of main

JNINativeInterface_ g_envTable;
JNIEnv g_env = {&g_envTable};  // C++ jni.h: a struct whose only field is the table
JNIInvokeInterface_ g_vmTable;
JavaVM g_vm = {&g_vmTable};

void raise(const char* className, std::string message) {
    g_pending = keep(std::make_unique<ThrowableObj>(className, std::move(message)));
}

void checkEnv(JNIEnv* env, const char* fn) {
    if (env != &g_env || g_destroyed) die(std::string("BAD HANDLE ") + fn + ": JNIEnv", 98);
}

// A JNI call other than the exception queries while an exception is pending is a launcher bug
// that a real runtime may or may not survive; it is recorded without stopping the test.
void warnIfPending(const char* fn) {
    if (g_pending) {
        std::string line = std::string("WARNING ") + fn + " called with " +
                           g_pending->className + " pending";
        trace(line);
        standin::writeStderr(line + "\n");
    }
}

Modes parseModes(const std::wstring& text) {
    Modes modes;
    std::string all = standin::utf8(text);
    size_t start = 0;
    while (start <= all.size()) {
        size_t comma = all.find(',', start);
        if (comma == std::string::npos) comma = all.size();
        std::string flag = all.substr(start, comma - start);
        while (!flag.empty() && flag.front() == ' ') flag.erase(flag.begin());
        while (!flag.empty() && flag.back() == ' ') flag.pop_back();
        start = comma + 1;
        if (flag.empty()) continue;
        if (flag == "fail-create") {
            modes.failCreate = true;
        } else if (flag.compare(0, 12, "fail-create=") == 0) {
            const char* digits = flag.c_str() + 12;
            char* end = nullptr;
            long code = std::strtol(digits, &end, 10);
            if (*digits == '\0' || *end != '\0' || code == 0 || code < -1000 || code > 1000)
                die("BAD SETUP KORVO_STANDIN_MODE " + flag, 97);
            modes.failCreate = true;
            modes.failCode = static_cast<jint>(code);
        } else if (flag == "no-main") {
            modes.noMain = true;
        } else if (flag == "no-string") {
            modes.noString = true;
        } else if (flag == "throw") {
            modes.throwInMain = true;
        } else if (flag == "block") {
            modes.block = true;
        } else if (flag == "thread") {
            modes.thread = true;
        } else if (flag == "process") {
            modes.process = true;
        } else if (flag == "desktop") {
            modes.desktop = true;
        } else if (flag.compare(0, 7, "native=") == 0) {
            size_t at = 7;
            while (at <= flag.size()) {
                size_t plus = flag.find('+', at);
                if (plus == std::string::npos) plus = flag.size();
                if (plus > at) modes.nativeLibraries.push_back(flag.substr(at, plus - at));
                at = plus + 1;
            }
        } else {
            die("BAD SETUP KORVO_STANDIN_MODE " + flag, 97);
        }
    }
    return modes;
}

// What the executable's manifest sets up for everything loaded into its process, as a runtime
// meets it: the comctl32.dll a load by name gets (Common Controls 6 lies in an assembly folder
// of its own and is reached only through the activation context a manifest gives), and the DPI
// awareness the manifest declares, which is what Windows reads to decide it.
void traceProcess() {
    const HMODULE comctl32 = LoadLibraryW(L"comctl32.dll");
    trace("process comctl32=" + (comctl32 ? standin::utf8(standin::modulePath(comctl32)) : "<not loaded>"));
    const struct { const wchar_t *space, *name; } settings[] = {
        {L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware"},
        {L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness"},
    };
    for (const auto& setting : settings) {
        wchar_t value[64] = {};
        std::string text = "<none>";
        if (QueryActCtxSettingsW(0, nullptr, setting.space, setting.name, value, 64, nullptr))
            text = standin::utf8(value);
        else if (GetLastError() != ERROR_SXS_KEY_NOT_FOUND)
            text = "<error " + num(GetLastError()) + ">";
        trace("process " + standin::utf8(setting.name) + "=" + text);
    }
}

std::wstring currentDirectory() {
    DWORD need = GetCurrentDirectoryW(0, nullptr);
    if (need == 0) return std::wstring();
    std::wstring dir(need, L'\0');
    DWORD got = GetCurrentDirectoryW(need, &dir[0]);
    if (got == 0 || got >= need) return std::wstring();
    dir.resize(got);
    return dir;
}

// Keeps one event per trace line: CR and LF become the two characters \r and \n.
std::string escapeLineBreaks(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

// ---- option text --------------------------------------------------------------------------
// A runtime decodes its option strings in its sun.jnu.encoding. Java 6 to 18 take that from the
// system locale's legacy ANSI code page (LOCALE_IDEFAULTANSICODEPAGE of GetSystemDefaultLCID; 0,
// a Unicode-only locale, and 65001 mean UTF-8, a failed call 1252), except 11.0.17 and 17.0.5 on,
// which, like 19 and later, take GetACP().
//
// Wine derives the ANSI code page from the system locale, so its UTF-8 code page comes only with
// a Unicode-only locale (hi-IN), whose legacy code page is UTF-8 as well. Windows' "Use Unicode
// UTF-8" option changes the ANSI code page and keeps the system locale (en-US: legacy 1252), and
// there the two differ. KORVO_STANDIN_SYSTEM_LOCALE names the locale such a machine keeps; its
// legacy code page is still asked of the system.
UINT g_optionCodePage = CP_ACP;

// Whether the runtime of KORVO_STANDIN_JAVA's version decodes options in the legacy code page.
bool decodesInLegacyCodePage(const std::string& version) {
    unsigned parts[3] = {};
    size_t count = 0, at = 0;
    while (count < 3) {
        unsigned value = 0, digits = 0;
        for (; at < version.size() && version[at] >= '0' && version[at] <= '9' && digits < 4; ++at, ++digits)
            value = value * 10 + static_cast<unsigned>(version[at] - '0');
        if (digits == 0) die("BAD SETUP KORVO_STANDIN_JAVA " + version, 97);
        parts[count++] = value;
        if (at == version.size() || version[at] != '.') break;
        ++at;
    }
    if (at != version.size() || count == 2) die("BAD SETUP KORVO_STANDIN_JAVA " + version, 97);
    if (parts[0] == 11) return parts[2] < 17;
    if (parts[0] == 17) return parts[2] < 5;
    return parts[0] < 19;
}

UINT optionCodePage() {
    bool present = false;
    const std::string version = standin::utf8(standin::envVar(L"KORVO_STANDIN_JAVA", &present));
    if (!decodesInLegacyCodePage(version.empty() ? "6" : version)) return GetACP();
    const std::string locale = standin::utf8(standin::envVar(L"KORVO_STANDIN_SYSTEM_LOCALE", &present));
    if (locale.size() > 8 || locale.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        die("BAD SETUP KORVO_STANDIN_SYSTEM_LOCALE " + locale, 97);
    const LCID system = locale.empty() ? GetSystemDefaultLCID() : std::strtoul(locale.c_str(), nullptr, 16);
    wchar_t digits[8] = {};
    if (GetLocaleInfoW(system, LOCALE_IDEFAULTANSICODEPAGE, digits, 8) == 0) return 1252;
    const unsigned long page = std::wcstoul(digits, nullptr, 10);
    return page == 0 || page == CP_UTF8 ? CP_UTF8 : static_cast<UINT>(page);
}

// Option text as the runtime reads it (class path and library path entries included).
std::wstring fromOptionText(const std::string& text) {
    if (text.empty() || text.size() > (1u << 24)) return std::wstring();
    const int size = static_cast<int>(text.size());
    int n = MultiByteToWideChar(g_optionCodePage, 0, text.data(), size, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    if (MultiByteToWideChar(g_optionCodePage, 0, text.data(), size, &out[0], n) != n) return std::wstring();
    return out;
}

std::wstring fromUtf8(const std::string& text) {
    if (text.empty() || text.size() > 32767) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

// ---- class path lookup ------------------------------------------------------------------

class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::wstring& path) {
        h_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER size;
        if (h_ != INVALID_HANDLE_VALUE && GetFileSizeEx(h_, &size) && size.QuadPart >= 0)
            size_ = static_cast<uint64_t>(size.QuadPart);
        else
            close();
    }
    ~ReadOnlyFile() { close(); }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    uint64_t size() const { return size_; }

    // Reads exactly `len` bytes at `offset`, refusing any range that is not inside the file.
    bool readAt(uint64_t offset, void* buffer, size_t len) {
        if (!ok() || offset > size_ || len > size_ - offset) return false;
        LARGE_INTEGER pos;
        pos.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(h_, pos, nullptr, FILE_BEGIN)) return false;
        auto* out = static_cast<unsigned char*>(buffer);
        while (len > 0) {
            DWORD chunk = len > 0x100000 ? 0x100000 : static_cast<DWORD>(len);
            DWORD got = 0;
            if (!ReadFile(h_, out, chunk, &got, nullptr) || got != chunk) return false;
            out += got;
            len -= got;
        }
        return true;
    }

private:
    void close() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        size_ = 0;
    }
    HANDLE h_ = INVALID_HANDLE_VALUE;
    uint64_t size_ = 0;
};

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t le64(const unsigned char* p) {
    return static_cast<uint64_t>(le32(p)) | (static_cast<uint64_t>(le32(p + 4)) << 32);
}

// True when the ZIP archive's central directory lists an entry named exactly `entryName`.
bool zipHolds(const std::wstring& path, const std::string& entryName) {
    ReadOnlyFile file(path);
    if (!file.ok()) return false;
    const uint64_t size = file.size();
    const size_t kEocd = 22;
    if (size < kEocd) return false;

    // The end record sits in the last 22 + 65535 (longest comment) bytes.
    size_t tailLen = static_cast<size_t>(size < kEocd + 0xFFFF ? size : kEocd + 0xFFFF);
    uint64_t tailStart = size - tailLen;
    std::vector<unsigned char> tail(tailLen);
    if (!file.readAt(tailStart, tail.data(), tailLen)) return false;
    size_t eocd = SIZE_MAX;
    for (size_t i = tailLen - kEocd + 1; i-- > 0;) {
        if (le32(&tail[i]) == 0x06054b50 && i + kEocd + le16(&tail[i + 20]) <= tailLen) {
            eocd = i;
            break;
        }
    }
    if (eocd == SIZE_MAX) return false;
    uint64_t entries = le16(&tail[eocd + 10]);
    uint64_t cdSize = le32(&tail[eocd + 12]);
    uint64_t cdOffset = le32(&tail[eocd + 16]);

    if (entries == 0xFFFF || cdSize == 0xFFFFFFFF || cdOffset == 0xFFFFFFFF) {
        // ZIP64: a locator just before the end record points at the ZIP64 end record.
        uint64_t eocdPos = tailStart + eocd;
        unsigned char locator[20];
        if (eocdPos < sizeof locator || !file.readAt(eocdPos - sizeof locator, locator, sizeof locator) ||
            le32(locator) != 0x07064b50)
            return false;
        unsigned char record[56];
        if (!file.readAt(le64(locator + 8), record, sizeof record) || le32(record) != 0x06064b50)
            return false;
        entries = le64(record + 32);
        cdSize = le64(record + 40);
        cdOffset = le64(record + 48);
    }
    if (cdOffset > size || cdSize > size - cdOffset) return false;
    if (cdSize > (256u << 20)) return false;  // no class archive of ours comes near this

    std::vector<unsigned char> cd(static_cast<size_t>(cdSize));
    if (!cd.empty() && !file.readAt(cdOffset, cd.data(), cd.size())) return false;
    const size_t kHeader = 46;
    size_t pos = 0;
    for (uint64_t n = 0; n < entries && cd.size() - pos >= kHeader; ++n) {
        const unsigned char* h = &cd[pos];
        if (le32(h) != 0x02014b50) return false;
        size_t nameLen = le16(h + 28);
        size_t total = kHeader + nameLen + le16(h + 30) + le16(h + 32);
        if (total > cd.size() - pos) return false;
        if (nameLen == entryName.size() &&
            std::memcmp(h + kHeader, entryName.data(), nameLen) == 0)
            return true;
        pos += total;
    }
    return false;
}

// Class names that could leave a class path folder (or are not names at all) never match.
bool plausibleClassName(const std::string& name) {
    if (name.empty() || name.front() == '/' || name.back() == '/') return false;
    if (name.find_first_of("\\:") != std::string::npos) return false;
    if (name.find("//") != std::string::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t slash = name.find('/', start);
        if (slash == std::string::npos) slash = name.size();
        std::string part = name.substr(start, slash - start);
        if (part == "." || part == "..") return false;
        start = slash + 1;
    }
    return true;
}

// The class path entry (as written in the option) that holds `name`, or empty.
std::string findOnClassPath(const std::string& name) {
    if (!plausibleClassName(name)) return std::string();
    const std::string entryName = name + ".class";
    std::wstring relative = fromUtf8(entryName);
    if (relative.empty()) return std::string();
    for (wchar_t& c : relative)
        if (c == L'/') c = L'\\';
    for (const std::string& entry : g_classPath) {
        std::wstring where = fromOptionText(entry);
        if (where.empty()) continue;
        DWORD attrs = GetFileAttributesW(where.c_str());
        if (attrs == INVALID_FILE_ATTRIBUTES) continue;
        if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
            std::wstring file = where;
            if (file.back() != L'\\' && file.back() != L'/') file += L'\\';
            file += relative;
            DWORD fileAttrs = GetFileAttributesW(file.c_str());
            if (fileAttrs != INVALID_FILE_ATTRIBUTES && !(fileAttrs & FILE_ATTRIBUTE_DIRECTORY))
                return entry;
        } else if (zipHolds(where, entryName)) {
            return entry;
        }
    }
    return std::string();
}

ClassObj* classHandle(const std::string& name) {
    for (ClassObj* cls : g_classes)
        if (cls->name == name) return cls;
    ClassObj* cls = keep(std::make_unique<ClassObj>(name));
    g_classes.push_back(cls);
    return cls;
}

// ---- implemented JNIEnv functions -----------------------------------------------------

jclass JNICALL jniFindClass(JNIEnv* env, const char* name) {
    checkEnv(env, "FindClass");
    warnIfPending("FindClass");
    if (name == nullptr) {
        trace("FindClass <null> -> null");
        raise("java.lang.NoClassDefFoundError", "<null>");
        return nullptr;
    }
    std::string where;
    if (std::strcmp(name, kStringClass) == 0)
        where = g_modes.noString ? std::string() : std::string("<boot>");
    else
        where = findOnClassPath(name);
    if (where.empty()) {
        trace(std::string("FindClass ") + name + " -> null");
        raise("java.lang.NoClassDefFoundError", name);
        return nullptr;
    }
    trace(std::string("FindClass ") + name + " -> found " + where);
    return reinterpret_cast<jclass>(static_cast<Obj*>(classHandle(name)));
}

jmethodID JNICALL jniGetStaticMethodID(JNIEnv* env, jclass clazz, const char* name,
                                       const char* sig) {
    checkEnv(env, "GetStaticMethodID");
    warnIfPending("GetStaticMethodID");
    auto* cls = require<ClassObj>(clazz, Kind::Class, "GetStaticMethodID", "class");
    bool ok = !g_modes.noMain && cls->name == kMainClass && name && sig &&
              std::strcmp(name, "main") == 0 && std::strcmp(sig, kMainSig) == 0;
    trace("GetStaticMethodID " + orNull(name) + " " + orNull(sig) + (ok ? " -> ok" : " -> null"));
    if (!ok) {
        raise("java.lang.NoSuchMethodError", orNull(name));
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(&g_mainMethod);
}

jthrowable JNICALL jniExceptionOccurred(JNIEnv* env) {
    checkEnv(env, "ExceptionOccurred");
    trace(std::string("ExceptionOccurred -> ") + (g_pending ? "1" : "0"));
    return reinterpret_cast<jthrowable>(static_cast<Obj*>(g_pending));
}

void JNICALL jniExceptionDescribe(JNIEnv* env) {
    checkEnv(env, "ExceptionDescribe");
    if (!g_pending) {
        trace("ExceptionDescribe <none>");
        return;
    }
    std::string what = g_pending->className + ": " + g_pending->message;
    g_pending = nullptr;
    trace("ExceptionDescribe " + what);
    standin::writeStderr("Exception in thread \"main\" " + what +
                         "\n\tat com.qzm.korvo.Korvo.main(Korvo.java)\n");
}

void JNICALL jniFatalError(JNIEnv* env, const char* msg) {
    checkEnv(env, "FatalError");
    trace("FatalError " + orNull(msg));
    standin::writeStderr("FATAL ERROR in native method: " + orNull(msg) + "\n");
    ExitProcess(134);
}

jobjectArray JNICALL jniNewObjectArray(JNIEnv* env, jsize length, jclass elementClass,
                                       jobject initial) {
    checkEnv(env, "NewObjectArray");
    warnIfPending("NewObjectArray");
    trace("NewObjectArray length=" + num(length));
    auto* cls = require<ClassObj>(elementClass, Kind::Class, "NewObjectArray", "class");
    Obj* init = lookup(initial, "NewObjectArray");
    if (length < 0) {
        raise("java.lang.NegativeArraySizeException", num(length));
        return nullptr;
    }
    if (length > kMaxArrayLength) {
        raise("java.lang.OutOfMemoryError", "Requested array size exceeds the stand-in's limit");
        return nullptr;
    }
    Obj* array = keep(std::make_unique<ArrayObj>(cls, static_cast<size_t>(length), init));
    return reinterpret_cast<jobjectArray>(array);
}

jstring JNICALL jniNewString(JNIEnv* env, const jchar* chars, jsize len) {
    checkEnv(env, "NewString");
    warnIfPending("NewString");
    if (len < 0 || (chars == nullptr && len > 0))
        die("BAD ARGUMENT NewString: length " + num(len) + (chars ? "" : " with null chars"), 98);
    auto str = std::make_unique<StringObj>();
    str->units.assign(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(len));
    return reinterpret_cast<jstring>(static_cast<Obj*>(keep(std::move(str))));
}

// Modified UTF-8 as the runtime reads it: 1-3 byte forms; a byte that starts no valid form
// becomes one code unit of the same value, which makes wrong encodings visible in the trace.
jstring JNICALL jniNewStringUTF(JNIEnv* env, const char* bytes) {
    checkEnv(env, "NewStringUTF");
    warnIfPending("NewStringUTF");
    if (bytes == nullptr) {
        trace("NewStringUTF <null>");
        return nullptr;
    }
    auto str = std::make_unique<StringObj>();
    const auto* s = reinterpret_cast<const unsigned char*>(bytes);
    size_t n = std::strlen(bytes);
    auto cont = [&](size_t i) { return i < n && (s[i] & 0xC0) == 0x80; };
    for (size_t i = 0; i < n;) {
        unsigned b = s[i];
        if (b < 0x80) {
            str->units += static_cast<char16_t>(b);
            i += 1;
        } else if ((b & 0xE0) == 0xC0 && cont(i + 1)) {
            str->units += static_cast<char16_t>(((b & 0x1F) << 6) | (s[i + 1] & 0x3F));
            i += 2;
        } else if ((b & 0xF0) == 0xE0 && cont(i + 1) && cont(i + 2)) {
            str->units += static_cast<char16_t>(((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) |
                                                (s[i + 2] & 0x3F));
            i += 3;
        } else {
            str->units += static_cast<char16_t>(b);
            i += 1;
        }
    }
    return reinterpret_cast<jstring>(static_cast<Obj*>(keep(std::move(str))));
}

void JNICALL jniSetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject value) {
    checkEnv(env, "SetObjectArrayElement");
    warnIfPending("SetObjectArrayElement");
    auto* arr = require<ArrayObj>(array, Kind::Array, "SetObjectArrayElement", "array");
    Obj* obj = lookup(value, "SetObjectArrayElement");
    if (index < 0 || static_cast<size_t>(index) >= arr->elements.size()) {
        std::string length = num(static_cast<long long>(arr->elements.size()));
        trace("SetObjectArrayElement index=" + num(index) + " length=" + length +
              " -> java.lang.ArrayIndexOutOfBoundsException");
        raise("java.lang.ArrayIndexOutOfBoundsException",
              "Index " + num(index) + " out of bounds for length " + length);
        return;
    }
    if (obj && arr->elementClass->name == kStringClass && obj->kind != Kind::String) {
        trace("SetObjectArrayElement index=" + num(index) + " -> java.lang.ArrayStoreException");
        raise("java.lang.ArrayStoreException", "not a java.lang.String");
        return;
    }
    arr->elements[static_cast<size_t>(index)] = obj;
}

std::string hexUnits(const std::u16string& units) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(units.size() * 4);
    for (char16_t u : units)
        for (int shift = 12; shift >= 0; shift -= 4) out += digits[(u >> shift) & 0xF];
    return out;
}

bool released(const std::wstring& file) { return GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring releaseFile(const char* mode) {
    bool present = false;
    std::wstring file = standin::envVar(L"KORVO_STANDIN_RELEASE", &present);
    if (file.empty()) die(std::string("BAD SETUP ") + mode + " needs KORVO_STANDIN_RELEASE", 97);
    return file;
}

DWORD WINAPI nonDaemonThread(LPVOID param) {
    std::unique_ptr<std::wstring> file(static_cast<std::wstring*>(param));
    while (!released(*file)) Sleep(20);
    return 0;
}

// System.loadLibrary as a runtime up to version 8 does it: the java.library.path entries are the
// option's text split at ';', taken literally (quotes included); the first entry holding the
// file gives its full path, which goes to LoadLibrary. Dependencies of that library are left
// to the system's search, as in a real runtime.
void loadNative(const std::string& name) {
    for (const std::string& entry : g_libraryPath) {
        std::wstring file = fromOptionText(entry.empty() ? std::string(".") : entry);
        if (file.empty()) continue;
        if (file.back() != L'\\' && file.back() != L'/') file += L'\\';
        file += fromUtf8(name);
        wchar_t full[4096];
        const DWORD length = GetFullPathNameW(file.c_str(), 4096, full, nullptr);
        if (length == 0 || length >= 4096) continue;
        const DWORD attributes = GetFileAttributesW(full);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (LoadLibraryW(full))
            trace("native " + name + " -> loaded " + standin::utf8(full));
        else
            trace("native " + name + " -> error " + num(GetLastError()) + " " + standin::utf8(full));
        return;
    }
    trace("native " + name + " -> not on the library path");
}

#ifdef STANDIN_RUNTIME_BOOT
std::wstring parentFolder(const std::wstring& path) {
    const size_t separator = path.find_last_of(L'\\');
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

// A runtime loads its own libraries from <home>\bin (its home is two folders above jvm.dll) by
// full path, each after those it imports, so their imports find them loaded: verify.dll before
// java.dll, as the comment in the runtime's own source says, "java dll depends on it and is not
// always able to find it when the loading executable is outside the JDK".
std::wstring runtimeBin() { return parentFolder(parentFolder(standin::modulePath(g_self))); }

bool bootLibrariesLoaded() {
    const std::wstring bin = runtimeBin();
    for (const wchar_t* name : {L"\\verify.dll", L"\\java.dll"}) {
        const std::wstring path = bin + name;
        if (bin.empty() || !LoadLibraryW(path.c_str())) {
            trace("boot library error " + num(GetLastError()) + " " + standin::utf8(path));
            return false;
        }
    }
    return true;
}

// What a desktop library the runtime loads later imports must be found too: the runtime loads
// it by full path, and its imports are searched for by name.
void loadDesktopLibrary() {
    const std::wstring path = runtimeBin() + L"\\awt.dll";
    if (LoadLibraryW(path.c_str()))
        trace("desktop library loaded " + standin::utf8(path));
    else
        trace("desktop library error " + num(GetLastError()) + " " + standin::utf8(path));
}
#else
bool bootLibrariesLoaded() { return true; }
void loadDesktopLibrary() { trace("desktop library error: not a later runtime"); }
#endif

// The application's main: lists the arguments it received, then behaves as the mode asks.
void JNICALL jniCallStaticVoidMethod(JNIEnv* env, jclass clazz, jmethodID method, ...) {
    checkEnv(env, "CallStaticVoidMethod");
    warnIfPending("CallStaticVoidMethod");
    auto* cls = require<ClassObj>(clazz, Kind::Class, "CallStaticVoidMethod", "class");
    if (cls->name != kMainClass || method != reinterpret_cast<jmethodID>(&g_mainMethod))
        die("BAD ARGUMENT CallStaticVoidMethod: not the main method of " + std::string(kMainClass), 98);
    va_list ap;
    va_start(ap, method);
    jobject argsHandle = va_arg(ap, jobject);
    va_end(ap);

    Obj* argsObj = lookup(argsHandle, "CallStaticVoidMethod");
    if (argsObj == nullptr) {
        trace("main args=<null>");
    } else {
        if (argsObj->kind != Kind::Array)
            die("BAD ARGUMENT CallStaticVoidMethod: argument is not an array", 98);
        auto* args = static_cast<ArrayObj*>(argsObj);
        trace("main args=" + num(static_cast<long long>(args->elements.size())));
        for (size_t i = 0; i < args->elements.size(); ++i) {
            std::string idx = "[" + num(static_cast<long long>(i)) + "]=";
            Obj* element = args->elements[i];
            if (element == nullptr) {
                trace("arg" + idx + "<null>");
                trace("arghex" + idx + "<null>");
            } else if (element->kind != Kind::String) {
                trace("arg" + idx + "<not a string>");
                trace("arghex" + idx + "<not a string>");
            } else {
                const std::u16string& units = static_cast<StringObj*>(element)->units;
                std::wstring wide(units.begin(), units.end());
                trace("arg" + idx + escapeLineBreaks(standin::utf8(wide)));
                trace("arghex" + idx + hexUnits(units));
            }
        }
    }

    for (const std::string& name : g_modes.nativeLibraries) loadNative(name);
    if (g_modes.desktop) loadDesktopLibrary();
    if (g_modes.block) {
        std::wstring file = releaseFile("block");
        while (!released(file)) Sleep(20);
    }
    if (g_modes.thread) {
        auto* file = new std::wstring(releaseFile("thread"));
        HANDLE thread = CreateThread(nullptr, 0, nonDaemonThread, file, 0, nullptr);
        if (thread == nullptr) {
            delete file;
            die("BAD SETUP thread: CreateThread failed", 97);
        }
        g_threads.push_back(thread);
    }
    if (g_modes.throwInMain) {
        raise("java.lang.RuntimeException", "thrown by the stand-in main");
        trace("main threw java.lang.RuntimeException");
    } else {
        trace("main returned");
    }
}

// ---- JavaVM -----------------------------------------------------------------------------

jint JNICALL jvmDestroyJavaVM(JavaVM* vm) {
    if (vm != &g_vm || g_destroyed) die("BAD HANDLE DestroyJavaVM", 98);
    trace("DestroyJavaVM waiting for " + num(static_cast<long long>(g_threads.size())) + " thread(s)");
    for (HANDLE thread : g_threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    g_threads.clear();
    g_destroyed = true;
    trace("DestroyJavaVM returned");
    return JNI_OK;
}

// ---- failing stubs for every other slot -------------------------------------------------

const char* const kTableNames[] = {"JNIEnv", "JavaVM"};

// Never returns, so the parameters the caller pushed do not matter.
template <int Table, size_t Slot>
void JNICALL unimplemented() {
    die(std::string("UNIMPLEMENTED ") + kTableNames[Table] + " slot " + num(static_cast<long long>(Slot)), 99);
}

using Stub = void(JNICALL*)();
static_assert(sizeof(Stub) == sizeof(void*), "table slots are pointer-sized");

template <int Table, size_t... Slot>
std::array<Stub, sizeof...(Slot)> stubs(std::index_sequence<Slot...>) {
    return {{&unimplemented<Table, Slot>...}};
}

template <int Table, class Interface>
void fillWithStubs(Interface& table) {
    static_assert(sizeof(Interface) % sizeof(void*) == 0, "a table is an array of pointers");
    constexpr size_t kSlots = sizeof(Interface) / sizeof(void*);
    const auto all = stubs<Table>(std::make_index_sequence<kSlots>{});
    static_assert(sizeof(all) == sizeof(Interface), "one stub per slot");
    std::memcpy(static_cast<void*>(&table), all.data(), sizeof(Interface));
}

void buildTables() {
    fillWithStubs<0>(g_envTable);
    g_envTable.FindClass = jniFindClass;
    g_envTable.GetStaticMethodID = jniGetStaticMethodID;
    g_envTable.NewObjectArray = jniNewObjectArray;
    g_envTable.NewString = jniNewString;
    g_envTable.NewStringUTF = jniNewStringUTF;
    g_envTable.SetObjectArrayElement = jniSetObjectArrayElement;
    g_envTable.CallStaticVoidMethod = jniCallStaticVoidMethod;
    g_envTable.ExceptionOccurred = jniExceptionOccurred;
    g_envTable.ExceptionDescribe = jniExceptionDescribe;
    g_envTable.FatalError = jniFatalError;

    fillWithStubs<1>(g_vmTable);
    g_vmTable.DestroyJavaVM = jvmDestroyJavaVM;
}

bool supportedVersion(jint version) {
    switch (version) {
    case JNI_VERSION_1_1: case JNI_VERSION_1_2: case JNI_VERSION_1_4: case JNI_VERSION_1_6:
    case JNI_VERSION_1_8: case JNI_VERSION_9: case JNI_VERSION_10:
        return true;
    default:
        return false;
    }
}

[[maybe_unused]] jint createJavaVM(JavaVM** pvm, void** penv, void* vmArgs) {
    bool present = false;
    g_tracePath = standin::envVar(L"KORVO_STANDIN_TRACE", &present);
    Modes modes = parseModes(standin::envVar(L"KORVO_STANDIN_MODE", &present));

    const auto* args = static_cast<const JavaVMInitArgs*>(vmArgs);
    if (args == nullptr) {
        trace("create args=<null>");
        trace("create result=" + num(JNI_EINVAL));
        return JNI_EINVAL;
    }
    char header[128];
    std::snprintf(header, sizeof header, "create version=0x%08lx nOptions=%ld ignoreUnrecognized=%d",
                  static_cast<unsigned long>(args->version), static_cast<long>(args->nOptions),
                  static_cast<int>(args->ignoreUnrecognized));
    trace(header);
    g_optionCodePage = optionCodePage();
    trace("option code page=" + num(g_optionCodePage));
    jint result = JNI_OK;
    std::vector<std::string> classPath;
    std::vector<std::string> libraryPath;
    bool sawClassPath = false;
    if (args->nOptions < 0 || (args->nOptions > 0 && args->options == nullptr)) {
        result = JNI_EINVAL;
    } else {
        for (jint i = 0; i < args->nOptions; ++i) {
            const JavaVMOption& opt = args->options[i];
            std::string line = "option[" + num(i) + "]=" +
                               (opt.optionString ? escapeLineBreaks(opt.optionString) : "<null>");
            if (opt.extraInfo) {
                char extra[48];
                std::snprintf(extra, sizeof extra, " extraInfo=%p", opt.extraInfo);
                line += extra;
            }
            trace(line);
            if (opt.optionString)
                trace("decoded[" + num(i) + "]=" + escapeLineBreaks(standin::utf8(fromOptionText(opt.optionString))));
            static const char kLp[] = "-Djava.library.path=";
            if (opt.optionString && std::strncmp(opt.optionString, kLp, sizeof kLp - 1) == 0) {
                std::string value = opt.optionString + (sizeof kLp - 1);
                libraryPath.clear();
                size_t start = 0;
                while (start <= value.size()) {
                    size_t semi = value.find(';', start);
                    if (semi == std::string::npos) semi = value.size();
                    libraryPath.push_back(value.substr(start, semi - start));
                    start = semi + 1;
                }
            }
            static const char kCp[] = "-Djava.class.path=";
            if (opt.optionString && std::strncmp(opt.optionString, kCp, sizeof kCp - 1) == 0) {
                // Like the runtime, the last class path option wins.
                classPath.clear();
                sawClassPath = true;
                std::string value = opt.optionString + (sizeof kCp - 1);
                size_t start = 0;
                while (start <= value.size()) {
                    size_t semi = value.find(';', start);
                    if (semi == std::string::npos) semi = value.size();
                    if (semi > start) classPath.push_back(value.substr(start, semi - start));
                    start = semi + 1;
                }
            }
        }
    }
    trace("cwd=" + standin::utf8(currentDirectory()));
    if (modes.process) traceProcess();

    if (result == JNI_OK) {
        if (pvm == nullptr || penv == nullptr) result = JNI_EINVAL;
        else if (g_created) result = JNI_EEXIST;
        else if (modes.failCreate) result = modes.failCode;
        else if (!supportedVersion(args->version)) result = JNI_EVERSION;
        else if (!bootLibrariesLoaded()) result = JNI_ERR;
    }
    if (result == JNI_OK) {
        g_modes = modes;
        g_classPath = sawClassPath ? classPath : std::vector<std::string>{"."};
        g_libraryPath = libraryPath;
        buildTables();
        g_created = true;
        *pvm = &g_vm;
        *penv = &g_env;
    }
    trace("create result=" + num(result));
    return result;
}

}  // namespace

#ifdef STANDIN_NO_CREATE_EXPORT
// Lets tests prove a DLL named jvm.dll without the entry point is refused.
extern "C" __declspec(dllexport) int KorvoStandinWithoutCreate(void) { return 0; }
#else
extern "C" JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** pvm, void** penv, void* args) {
    return createJavaVM(pvm, penv, args);
}
#endif

#ifdef STANDIN_RUNTIME_BOOT
// As later runtimes' jvm.dll, which imports winmm.dll for its timers.
extern "C" __declspec(dllexport) DWORD KorvoStandinTimer(void) { return timeGetTime(); }
#endif
#ifdef STANDIN_IMPORTS_BIN_API
// As Java 11 and later, whose jvm.dll imports what bin ships besides its C library.
extern "C" __declspec(dllimport) int KorvoStandinApi(void);
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        // The import a real runtime has on its C library; already attached when this runs.
        KorvoStandinMsvcr71();
#ifdef STANDIN_IMPORTS_BIN_API
        KorvoStandinApi();
#endif
        g_self = instance;
        DisableThreadLibraryCalls(instance);
        bool present = false;
        std::wstring file = standin::envVar(L"KORVO_STANDIN_TRACE", &present);
        if (!file.empty())
            standin::appendLine(file, "jvm attach " + standin::utf8(standin::modulePath(g_self)));
#ifdef STANDIN_RUNTIME_BOOT
        standin::traceSystemImport(L"winmm.dll");
#endif
    }
    return TRUE;
}
