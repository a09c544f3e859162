// Helpers shared by the stand-in DLLs (jvm.dll, msvcr71.dll, planted.dll).
// They only use Win32 calls so they are safe inside DllMain and need no C runtime state.
#ifndef KORVO_STANDIN_COMMON_H
#define KORVO_STANDIN_COMMON_H

#include <windows.h>

#include <string>

namespace standin {

// Value of an environment variable; `present` tells an empty value from an unset one.
inline std::wstring envVar(const wchar_t* name, bool* present) {
    std::wstring value(64, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        SetLastError(ERROR_SUCCESS);
        DWORD got = GetEnvironmentVariableW(name, &value[0], static_cast<DWORD>(value.size()));
        if (got == 0) {
            bool exists = GetLastError() != ERROR_ENVVAR_NOT_FOUND;
            if (present) *present = exists;
            return std::wstring();
        }
        if (got < value.size()) {
            value.resize(got);
            if (present) *present = true;
            return value;
        }
        value.assign(got, L'\0');  // `got` includes the terminator when the buffer was short
    }
    if (present) *present = false;
    return std::wstring();
}

// UTF-16 to UTF-8; lone surrogates are kept as their 3-byte forms so nothing is silently lost.
inline std::string utf8(const wchar_t* text, size_t count) {
    std::string out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        unsigned long cp = static_cast<unsigned short>(text[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < count) {
            unsigned long low = static_cast<unsigned short>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

inline std::string utf8(const std::wstring& text) { return utf8(text.data(), text.size()); }

inline std::wstring modulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD got = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
        if (got == 0) return std::wstring();
        if (got < path.size()) {
            path.resize(got);
            return path;
        }
        path.assign(path.size() * 2, L'\0');
    }
    return std::wstring();
}

// Appends one line in a single write, opening and closing the file each time, so that
// the trace survives a process that dies right after.
inline void appendLine(const std::wstring& file, const std::string& line) {
    if (file.empty()) return;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 50 && h == INVALID_HANDLE_VALUE; ++attempt) {
        h = CreateFileW(file.c_str(), FILE_APPEND_DATA,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_SHARING_VIOLATION) return;
        if (h == INVALID_HANDLE_VALUE) Sleep(10);
    }
    if (h == INVALID_HANDLE_VALUE) return;
    std::string data = line;
    data += '\n';
    DWORD written = 0;
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(h);
}

// For the small stand-in libraries: "<what> attach <this library's path>" in the trace, once the
// library is loaded.
inline void traceAttach(HMODULE module, const char* what) {
    bool present = false;
    const std::wstring file = envVar(L"KORVO_STANDIN_TRACE", &present);
    if (!file.empty()) appendLine(file, std::string(what) + " attach " + utf8(modulePath(module)));
}

// Wine prefers its own builtin copy of a system library even where the search found a file of
// that name first, and then gives that file's path as the module's. The path is what the search
// found, so a system library imported from anywhere but the system folder is reported as the
// planted file itself would report its loading on Windows.
inline void traceSystemImport(const wchar_t* name) {
    const std::wstring path = modulePath(GetModuleHandleW(name));
    const size_t separator = path.find_last_of(L'\\');
    const std::wstring folder = separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    bool present = false;
    const std::wstring file = envVar(L"KORVO_STANDIN_TRACE", &present);
    if (length == 0 || length >= MAX_PATH || lstrcmpiW(folder.c_str(), system) != 0)
        appendLine(file, "PLANTED " + utf8(path) + " (found for " + utf8(name) + ")");
}

inline void writeStderr(const std::string& text) {
    HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace standin

#endif
