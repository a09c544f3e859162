#include "base/wide_path.h"

#include <windows.h>

#include <cwchar>

namespace {

// The one converting call, without best fit: usedDefault reports a character without an ANSI form.
int convert(const wchar_t* text, int length, char* bytes, int size, BOOL& usedDefault) {
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length, bytes, size, "?", &usedDefault);
}

// The conversion without best fit; lost reports whether any character had no ANSI form.
std::string toAnsi(const std::wstring& text, bool& lost) {
    lost = false;
    if (text.empty()) return std::string();
    BOOL usedDefault = FALSE;
    const int length = static_cast<int>(text.size());
    const int size = convert(text.data(), length, nullptr, 0, usedDefault);
    if (size <= 0) {
        lost = true;
        return std::string(text.size(), '?');
    }
    std::string ansi(static_cast<size_t>(size), '\0');
    convert(text.data(), length, &ansi[0], size, usedDefault);
    lost = usedDefault != FALSE;
    return ansi;
}

bool shortForm(const std::wstring& path, std::wstring& shortPath) {
    const DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (size == 0 || size > 32768) return false;
    std::wstring result(size, L'\0');
    const DWORD length = GetShortPathNameW(path.c_str(), &result[0], size);
    if (length == 0 || length >= size) return false;
    result.resize(length);
    shortPath.swap(result);
    return true;
}

}  // namespace

bool exactAnsi(const std::wstring& text, std::string& ansi) {
    bool lost = false;
    std::string converted = toAnsi(text, lost);
    if (lost) return false;
    ansi.swap(converted);
    return true;
}

bool exactAnsiName(const wchar_t* name, std::string& ansi) {
    const size_t length = std::wcslen(name);
    ansi.clear();
    if (length == 0) return true;
    // Sized for the longest result, so one call does: no ANSI code page, UTF-8 included, takes
    // more than three bytes for a UTF-16 unit.
    if (length > 32767) return false;
    ansi.resize(3 * length);
    BOOL usedDefault = FALSE;
    const int size = convert(name, static_cast<int>(length), &ansi[0], static_cast<int>(ansi.size()), usedDefault);
    ansi.resize(size > 0 ? static_cast<size_t>(size) : 0);
    return size > 0 && !usedDefault;
}

std::wstring widenAnsi(const std::string& ansi) {
    if (ansi.empty()) return std::wstring();
    const int length = static_cast<int>(ansi.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, &wide[0], size);
    return wide;
}

bool ansiPath(const std::wstring& path, std::string& ansi) {
    if (exactAnsi(path, ansi)) return true;
    // Where short names are off, the system answers with the long name unchanged: the result is
    // checked like the original.
    std::wstring shortPath;
    return shortForm(path, shortPath) && exactAnsi(shortPath, ansi);
}

std::string ansiPathOrNothing(const std::wstring& path) {
    std::string ansi;
    if (ansiPath(path, ansi)) return ansi;
    bool lost = false;
    return toAnsi(path, lost);
}

bool readEnvironment(const wchar_t* name, std::wstring& value) {
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    // Another thread may change the variable between the calls: ask again, a few times.
    for (int attempt = 0; attempt < 4 && size > 0 && size <= 32768; ++attempt) {
        std::wstring buffer(size, L'\0');
        const DWORD length = GetEnvironmentVariableW(name, &buffer[0], size);
        if (length < size) {
            buffer.resize(length);
            value.swap(buffer);
            return true;
        }
        size = length;
    }
    return false;
}
