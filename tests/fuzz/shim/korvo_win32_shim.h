// Just enough of the Win32 and Microsoft C runtime declarations for the launcher's sources to
// compile on Linux, so their pure text functions can be fuzzed on the build machine. Most system
// calls declared here are not meant to run: each one ends the fuzzer at once (win32_shim.cpp).
// The text conversion runs, by the rules Windows documents and enforces (Wine is lenient), in
// the ANSI code page the fuzzer chooses; the file system holds nothing, so no path has a short form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#define WINAPI
#define CALLBACK

typedef int BOOL;
typedef unsigned char BYTE;
typedef std::uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef std::int32_t LONG;
typedef LONG LSTATUS;
typedef unsigned int UINT;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef wchar_t WCHAR;
typedef wchar_t* LPWSTR;
typedef const wchar_t* LPCWSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* HANDLE;
typedef void* HLOCAL;
typedef struct HWND__* HWND;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;

#define MAX_PATH 260
#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))
#define KEY_READ 0x20019
#define ERROR_SUCCESS 0L
#define ERROR_INVALID_PARAMETER 87L
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define MB_OK 0x00000000u
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((static_cast<DWORD>(s) << 10) | static_cast<DWORD>(p))

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
typedef FILETIME* LPFILETIME;
typedef std::uint16_t WORD;
struct SYSTEMTIME {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};
struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime, ftLastAccessTime, ftLastWriteTime;
    DWORD dwVolumeSerialNumber, nFileSizeHigh, nFileSizeLow, nNumberOfLinks, nFileIndexHigh, nFileIndexLow;
};
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define OPEN_EXISTING 3
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000
typedef long HRESULT;
#define S_OK 0L
#define CSIDL_PROGRAM_FILES 0x0026
#define CP_ACP 0
#define CP_UTF8 65001
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080
#define SHGFP_TYPE_CURRENT 0

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};


BOOL FindClose(HANDLE search);
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
DWORD GetLastError();
void SetLastError(DWORD code);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD id, DWORD language, LPSTR buffer, DWORD size, void* args);
HLOCAL LocalFree(HLOCAL memory);
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, BYTE* data, LPDWORD size);
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, void* security, DWORD disposition, DWORD flags,
                   HANDLE templateFile);
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);
BOOL CloseHandle(HANDLE handle);
BOOL IsDBCSLeadByte(BYTE c);
void GetSystemTimeAsFileTime(LPFILETIME time);
BOOL SystemTimeToTzSpecificLocalTime(const void* zone, const SYSTEMTIME* universal, SYSTEMTIME* local);
BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* fields);
HRESULT SHGetFolderPathW(HWND owner, int folder, HANDLE token, DWORD flags, LPWSTR path);
HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data);
BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data);
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, void* security, DWORD disposition, DWORD flags,
                   HANDLE templateFile);
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);
DWORD GetTempPathW(DWORD size, LPWSTR buffer);
DWORD GetModuleFileNameW(void* module, LPWSTR buffer, DWORD size);
DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer);
BOOL SetCurrentDirectoryW(LPCWSTR path);
DWORD GetShortPathNameW(LPCWSTR path, LPWSTR buffer, DWORD size);
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, BYTE* data, LPDWORD size);
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD length, LPDWORD reserved, LPWSTR className,
                      LPDWORD classLength, LPFILETIME written);
DWORD ExpandEnvironmentStringsW(LPCWSTR text, LPWSTR expanded, DWORD size);
#define ERROR_MORE_DATA 234L
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int length, LPSTR bytes, int size,
                        LPCSTR defaultChar, BOOL* usedDefault);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int length, LPWSTR text, int size);

// What the launch trace (base/trace.cpp) uses.
typedef struct HINSTANCE__* HMODULE;
typedef struct HRSRC__* HRSRC;
typedef void* HGLOBAL;
typedef void (*FARPROC)();
union LARGE_INTEGER {
    std::int64_t QuadPart;
};
struct OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize, dwMajorVersion, dwMinorVersion, dwBuildNumber, dwPlatformId;
    wchar_t szCSDVersion[128];
};
#define GENERIC_READ 0x80000000u
#define FILE_APPEND_DATA 0x0004
#define OPEN_ALWAYS 4
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define ERROR_ENVVAR_NOT_FOUND 203L
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(i)))
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, void* overlapped);
BOOL ReadFile(HANDLE file, LPVOID data, DWORD size, LPDWORD got, void* overlapped);
HANDLE GetCurrentProcess();
DWORD GetCurrentProcessId();
BOOL GetProcessTimes(HANDLE process, LPFILETIME creation, LPFILETIME exit, LPFILETIME kernel, LPFILETIME user);
BOOL QueryPerformanceCounter(LARGE_INTEGER* counter);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);
HMODULE GetModuleHandleA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
UINT GetACP();

// Microsoft C runtime names (io.h, direct.h, sys/stat.h).
struct _stat {
    unsigned int st_mode;
};
#define _S_IFDIR 0040000
int _stat(const char* path, struct _stat* status);
int _wstat(const wchar_t* path, struct _stat* status);
int _wunlink(const wchar_t* path);
int _wremove(const wchar_t* path);
int _wmkdir(const wchar_t* path);
std::FILE* _wfopen(const wchar_t* path, const wchar_t* mode);

// The fuzzer's controls over the shim: the ANSI code page (932 unless set), and whether every
// converting call (one given an output buffer, after the call that sized it) fails.
extern UINT shimAnsiCodePage;
extern bool shimConvertingCallsFail;
// While set, the conversion, the code page and the short form end the fuzzer too, as every other
// system function does: for code that must do no system work at all.
extern bool shimSystemCallsEnd;
