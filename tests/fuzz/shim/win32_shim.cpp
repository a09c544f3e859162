// The system calls of korvo_win32_shim.h. The fuzzer only calls pure text functions, so reaching
// any of these means the harness strayed into code that touches the system: stop loudly.
#include "korvo_win32_shim.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

[[noreturn]] void unexpected(const char* name) {
    std::fprintf(stderr, "text fuzzer called the system function %s\n", name);
    std::abort();
}

}  // namespace

BOOL FindClose(HANDLE) { unexpected("FindClose"); }
DWORD GetEnvironmentVariableA(LPCSTR, LPSTR, DWORD) { unexpected("GetEnvironmentVariableA"); }
DWORD GetLastError() { unexpected("GetLastError"); }
void SetLastError(DWORD) { unexpected("SetLastError"); }
int MessageBoxA(HWND, LPCSTR, LPCSTR, UINT) { unexpected("MessageBoxA"); }
DWORD FormatMessageA(DWORD, LPCVOID, DWORD, DWORD, LPSTR, DWORD, void*) { unexpected("FormatMessageA"); }
HLOCAL LocalFree(HLOCAL) { unexpected("LocalFree"); }
LSTATUS RegOpenKeyExA(HKEY, LPCSTR, DWORD, REGSAM, PHKEY) { unexpected("RegOpenKeyExA"); }
LSTATUS RegQueryValueExA(HKEY, LPCSTR, LPDWORD, LPDWORD, BYTE*, LPDWORD) { unexpected("RegQueryValueExA"); }
HANDLE CreateFileA(LPCSTR, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) { unexpected("CreateFileA"); }
BOOL GetFileInformationByHandle(HANDLE, BY_HANDLE_FILE_INFORMATION*) { unexpected("GetFileInformationByHandle"); }
BOOL CloseHandle(HANDLE) { unexpected("CloseHandle"); }
UINT shimAnsiCodePage = 932;
bool shimConvertingCallsFail = false;
bool shimSystemCallsEnd = false;

// 932, a double-byte code page, unless the fuzzer chose another, so the character-stepping code runs.
BOOL IsDBCSLeadByte(BYTE c) {
    return shimAnsiCodePage == 932 && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
}
UINT GetACP() {
    if (shimSystemCallsEnd) unexpected("GetACP");
    return shimAnsiCodePage;
}
void GetSystemTimeAsFileTime(LPFILETIME) { unexpected("GetSystemTimeAsFileTime"); }
BOOL SystemTimeToTzSpecificLocalTime(const void*, const SYSTEMTIME*, SYSTEMTIME*) {
    unexpected("SystemTimeToTzSpecificLocalTime");
}
BOOL FileTimeToSystemTime(const FILETIME*, SYSTEMTIME*) { unexpected("FileTimeToSystemTime"); }
HRESULT SHGetFolderPathW(HWND, int, HANDLE, DWORD, LPWSTR) { unexpected("SHGetFolderPathW"); }
HANDLE FindFirstFileW(LPCWSTR, WIN32_FIND_DATAW*) { unexpected("FindFirstFileW"); }
BOOL FindNextFileW(HANDLE, WIN32_FIND_DATAW*) { unexpected("FindNextFileW"); }
HANDLE CreateFileW(LPCWSTR, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) { unexpected("CreateFileW"); }
DWORD GetEnvironmentVariableW(LPCWSTR, LPWSTR, DWORD) { unexpected("GetEnvironmentVariableW"); }
DWORD GetTempPathW(DWORD, LPWSTR) { unexpected("GetTempPathW"); }
DWORD GetModuleFileNameW(void*, LPWSTR, DWORD) { unexpected("GetModuleFileNameW"); }
DWORD GetCurrentDirectoryW(DWORD, LPWSTR) { unexpected("GetCurrentDirectoryW"); }
BOOL SetCurrentDirectoryW(LPCWSTR) { unexpected("SetCurrentDirectoryW"); }
DWORD GetShortPathNameW(LPCWSTR, LPWSTR, DWORD) {
    if (shimSystemCallsEnd) unexpected("GetShortPathNameW");
    return 0;  // no such file
}
LSTATUS RegQueryValueExW(HKEY, LPCWSTR, LPDWORD, LPDWORD, BYTE*, LPDWORD) { unexpected("RegQueryValueExW"); }
LSTATUS RegEnumKeyExW(HKEY, DWORD, LPWSTR, LPDWORD, LPDWORD, LPWSTR, LPDWORD, LPFILETIME) { unexpected("RegEnumKeyExW"); }
DWORD ExpandEnvironmentStringsW(LPCWSTR, LPWSTR, DWORD) { unexpected("ExpandEnvironmentStringsW"); }
int MultiByteToWideChar(UINT, DWORD, LPCSTR, int, LPWSTR, int) { unexpected("MultiByteToWideChar"); }
int _wstat(const wchar_t*, struct _stat*) { unexpected("_wstat"); }
int _wunlink(const wchar_t*) { unexpected("_wunlink"); }
int _wremove(const wchar_t*) { unexpected("_wremove"); }
int _wmkdir(const wchar_t*) { unexpected("_wmkdir"); }
std::FILE* _wfopen(const wchar_t*, const wchar_t*) { unexpected("_wfopen"); }
BOOL WriteFile(HANDLE, LPCVOID, DWORD, LPDWORD, void*) { unexpected("WriteFile"); }
BOOL ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, void*) { unexpected("ReadFile"); }
HANDLE GetCurrentProcess() { unexpected("GetCurrentProcess"); }
DWORD GetCurrentProcessId() { unexpected("GetCurrentProcessId"); }
BOOL GetProcessTimes(HANDLE, LPFILETIME, LPFILETIME, LPFILETIME, LPFILETIME) { unexpected("GetProcessTimes"); }
BOOL QueryPerformanceCounter(LARGE_INTEGER*) { unexpected("QueryPerformanceCounter"); }
BOOL QueryPerformanceFrequency(LARGE_INTEGER*) { unexpected("QueryPerformanceFrequency"); }
HRSRC FindResourceA(HMODULE, LPCSTR, LPCSTR) { unexpected("FindResourceA"); }
HGLOBAL LoadResource(HMODULE, HRSRC) { unexpected("LoadResource"); }
LPVOID LockResource(HGLOBAL) { unexpected("LockResource"); }
DWORD SizeofResource(HMODULE, HRSRC) { unexpected("SizeofResource"); }
HMODULE GetModuleHandleA(LPCSTR) { unexpected("GetModuleHandleA"); }
FARPROC GetProcAddress(HMODULE, LPCSTR) { unexpected("GetProcAddress"); }
int _stat(const char*, struct _stat*) { unexpected("_stat"); }

namespace {

// The UTF-8 bytes of UTF-16 text; false at a lone surrogate when strict, else it becomes U+FFFD.
bool utf8Bytes(const wchar_t* text, int length, bool strict, std::string& bytes) {
    for (int at = 0; at < length; ++at) {
        unsigned long c = static_cast<unsigned long>(text[at]) & 0xFFFF;
        if (c >= 0xD800 && c <= 0xDBFF && at + 1 < length && (text[at + 1] & 0xFC00) == 0xDC00) {
            c = 0x10000 + ((c - 0xD800) << 10) + ((text[++at] & 0xFFFF) - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (strict) return false;
            c = 0xFFFD;
        }
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if (c < 0x800) {
            bytes += static_cast<char>(0xC0 | (c >> 6));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes += static_cast<char>(0xE0 | (c >> 12));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (c >> 18));
            bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return true;
}

}  // namespace

// As Windows documents it: for UTF-8 the flags must be 0 or WC_ERR_INVALID_CHARS and both
// default-character arguments NULL, or the call fails. Other code pages hold plain ASCII and, for
// 1252, Latin-1's upper half; a character outside gets the default character.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int length, LPSTR out, int size,
                        LPCSTR defaultChar, BOOL* usedDefault) {
    if (shimSystemCallsEnd) unexpected("WideCharToMultiByte");
    if (shimConvertingCallsFail && size > 0) return 0;
    if (codePage == CP_ACP) codePage = shimAnsiCodePage;
    if (!text || length < 0 || size < 0) return 0;  // ERROR_INVALID_PARAMETER
    std::string bytes;
    if (codePage == CP_UTF8) {
        if ((flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) return 0;  // ERROR_INVALID_FLAGS
        if (defaultChar || usedDefault) return 0;  // ERROR_INVALID_PARAMETER
        if (!utf8Bytes(text, length, (flags & WC_ERR_INVALID_CHARS) != 0, bytes))
            return 0;  // ERROR_NO_UNICODE_TRANSLATION
    } else {
        if (usedDefault) *usedDefault = FALSE;
        for (int at = 0; at < length; ++at) {
            const unsigned long c = static_cast<unsigned long>(text[at]);
            if (c < 0x80 || (codePage == 1252 && c >= 0xA0 && c <= 0xFF)) {
                bytes += static_cast<char>(c);
            } else {
                bytes += defaultChar ? defaultChar[0] : '?';
                if (usedDefault) *usedDefault = TRUE;
            }
        }
    }
    if (size == 0) return static_cast<int>(bytes.size());
    if (bytes.size() > static_cast<size_t>(size)) return 0;  // ERROR_INSUFFICIENT_BUFFER
    std::memcpy(out, bytes.data(), bytes.size());
    return static_cast<int>(bytes.size());
}
