// The system calls of korvo_win32_shim.h. The fuzzer only calls pure text functions, so reaching
// any of these means the harness strayed into code that touches the system: stop loudly.
#include "korvo_win32_shim.h"

#include <cstdio>
#include <cstdlib>

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
// The fuzzer's ANSI code page is 932, a double-byte one, so the character-stepping code runs.
BOOL IsDBCSLeadByte(BYTE c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
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
DWORD GetShortPathNameW(LPCWSTR, LPWSTR, DWORD) { unexpected("GetShortPathNameW"); }
LSTATUS RegQueryValueExW(HKEY, LPCWSTR, LPDWORD, LPDWORD, BYTE*, LPDWORD) { unexpected("RegQueryValueExW"); }
int WideCharToMultiByte(UINT, DWORD, LPCWSTR, int, LPSTR, int, LPCSTR, BOOL*) { unexpected("WideCharToMultiByte"); }
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
UINT GetACP() { unexpected("GetACP"); }
int _stat(const char*, struct _stat*) { unexpected("_stat"); }
