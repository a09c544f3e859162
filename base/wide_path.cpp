#include "base/wide_path.h"

#include <windows.h>

namespace {

bool highSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool lowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// One conversion, both calls checked: a failure of either (the second can fail after the first
// sized it) leaves nothing that could pass for a path.
bool convert(UINT codePage, DWORD flags, const std::wstring& text, const char* defaultChar, BOOL* usedDefault,
             std::string& ansi) {
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, defaultChar, usedDefault);
    if (size <= 0) return false;
    std::string converted(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(codePage, flags, text.data(), length, &converted[0], size, defaultChar, usedDefault) !=
        size)
        return false;
    ansi.swap(converted);
    return true;
}

// The conversion without best fit; lost reports whether any character had no ANSI form, and
// each such character is "?" in the result.
std::string toAnsi(const std::wstring& text, bool& lost) {
    lost = false;
    if (text.empty()) return std::string();
    std::string ansi;
    if (GetACP() == CP_UTF8) {
        // UTF-8 holds every character but a lone surrogate. For this code page the system takes
        // no flag but WC_ERR_INVALID_CHARS and no default character: it fails any other call.
        std::wstring whole = text;
        for (size_t at = 0; at < whole.size(); ++at) {
            if (highSurrogate(whole[at]) && at + 1 < whole.size() && lowSurrogate(whole[at + 1])) {
                ++at;
            } else if (highSurrogate(whole[at]) || lowSurrogate(whole[at])) {
                whole[at] = L'?';
                lost = true;
            }
        }
        if (convert(CP_UTF8, WC_ERR_INVALID_CHARS, whole, nullptr, nullptr, ansi)) return ansi;
    } else {
        BOOL usedDefault = FALSE;
        if (convert(CP_ACP, WC_NO_BEST_FIT_CHARS, text, "?", &usedDefault, ansi)) {
            lost = usedDefault != FALSE;
            return ansi;
        }
    }
    lost = true;
    return std::string(text.size(), '?');
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

std::wstring widenAnsi(const std::string& ansi) {
    if (ansi.empty()) return std::wstring();
    const int length = static_cast<int>(ansi.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(size), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, &wide[0], size) != size) return std::wstring();
    return wide;
}

std::wstring withoutLongPathPrefix(const std::wstring& path) {
    static const wchar_t kPrefix[] = L"\\\\?\\";
    if (path.compare(0, 4, kPrefix) != 0) return path;
    // "\\?\UNC\server\share" is the share "\\server\share".
    const bool unc = path.size() >= 8 && (path[4] == L'U' || path[4] == L'u') && (path[5] == L'N' || path[5] == L'n') &&
                     (path[6] == L'C' || path[6] == L'c') && path[7] == L'\\';
    return unc ? L"\\\\" + path.substr(8) : path.substr(4);
}

bool ansiPath(const std::wstring& path, std::string& ansi) {
    const std::wstring plain = withoutLongPathPrefix(path);
    if (exactAnsi(plain, ansi)) return true;
    // Where short names are off, the system answers with the long name unchanged: the result is
    // checked like the original.
    std::wstring shortPath;
    return shortForm(plain, shortPath) && exactAnsi(shortPath, ansi);
}

std::string ansiPathOrNothing(const std::wstring& path) {
    std::string ansi;
    if (ansiPath(path, ansi)) return ansi;
    bool lost = false;
    return toAnsi(withoutLongPathPrefix(path), lost);
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
