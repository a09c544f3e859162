#include "base/wide_path.h"

#include <windows.h>

#include <cwchar>

namespace {

// Under a UTF-8 ANSI code page the runtime may read the options in another one: runtimes before
// Java 19, but 11.0.17 and 17.0.5 on, decode them in the system locale's legacy code page (1252 on
// a Western machine with Windows' "Use Unicode UTF-8" option on), the others as UTF-8. Only ASCII
// reads the same in both, so only ASCII counts as held there.
bool plainAscii(const wchar_t* text, size_t length) {
    for (size_t at = 0; at < length; ++at)
        if (static_cast<unsigned long>(text[at]) >= 0x80) return false;
    return true;
}

// One converting call, by the rules of the ANSI code page (bytes null and size 0 to size the
// result). For UTF-8 the system takes no flag but WC_ERR_INVALID_CHARS and no default character,
// and fails any other call; the conversion then fails only at a lone surrogate. Elsewhere it runs
// without best fit, and usedDefault reports a character without an ANSI form.
int convert(bool utf8, const wchar_t* text, int length, char* bytes, int size, BOOL& usedDefault) {
    usedDefault = FALSE;
    if (utf8)
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, length, bytes, size, nullptr, nullptr);
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length, bytes, size, "?", &usedDefault);
}

// The conversion without best fit; lost reports whether any character had no ANSI form, and
// each such character is "?" in the result.
std::string toAnsi(const std::wstring& text, bool& lost) {
    lost = false;
    if (text.empty()) return std::string();
    const bool utf8 = GetACP() == CP_UTF8;
    // UTF-8 has a form for every character but a lone surrogate, which would fail the whole call.
    std::wstring replaced;
    if (utf8) {
        for (size_t at = 0; at < text.size(); ++at) {
            if (highSurrogate(text[at]) && at + 1 < text.size() && lowSurrogate(text[at + 1])) {
                ++at;
            } else if (highSurrogate(text[at]) || lowSurrogate(text[at])) {
                if (!lost) replaced = text;
                replaced[at] = L'?';
                lost = true;
            }
        }
    }
    const std::wstring& source = lost ? replaced : text;
    BOOL usedDefault = FALSE;
    const int length = static_cast<int>(source.size());
    const int size = convert(utf8, source.data(), length, nullptr, 0, usedDefault);
    // Both calls checked: the second can fail after the first sized the result, and a string of
    // zero bytes must never pass for a path.
    if (size > 0) {
        std::string ansi(static_cast<size_t>(size), '\0');
        if (convert(utf8, source.data(), length, &ansi[0], size, usedDefault) == size) {
            lost = lost || usedDefault != FALSE;
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
    if (GetACP() == CP_UTF8 && !plainAscii(text.data(), text.size())) return false;
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
    const bool utf8 = GetACP() == CP_UTF8;
    if (utf8 && !plainAscii(name, length)) return false;
    ansi.resize(3 * length);
    BOOL usedDefault = FALSE;
    const int size =
        convert(utf8, name, static_cast<int>(length), &ansi[0], static_cast<int>(ansi.size()), usedDefault);
    ansi.resize(size > 0 ? static_cast<size_t>(size) : 0);
    return size > 0 && !usedDefault;
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
    if (path.compare(0, 4, L"\\\\?\\") != 0) return path;
    // "\\?\C:\..." is "C:\...", and "\\?\UNC\server\share" the share "\\server\share". Any other
    // form (a volume's name) has no plain one: cut, it would read as a relative path.
    const bool drive = path.size() >= 6 && ((path[4] >= L'A' && path[4] <= L'Z') || (path[4] >= L'a' && path[4] <= L'z')) &&
                       path[5] == L':';
    if (drive) return path.substr(4);
    const bool unc = path.size() >= 8 && (path[4] == L'U' || path[4] == L'u') && (path[5] == L'N' || path[5] == L'n') &&
                     (path[6] == L'C' || path[6] == L'c') && path[7] == L'\\';
    return unc ? L"\\\\" + path.substr(8) : path;
}

bool heldAnsiPath(const std::wstring& path, std::string& ansi) {
    const std::wstring plain = withoutLongPathPrefix(path);
    if (exactAnsi(plain, ansi)) return true;
    // Where short names are off, the system answers with the long name unchanged: the result is
    // checked like the original.
    std::wstring shortPath;
    return shortForm(plain, shortPath) && exactAnsi(shortPath, ansi);
}

bool ansiPath(const std::wstring& path, std::string& ansi) {
    if (heldAnsiPath(path, ansi)) return true;
    if (GetACP() != CP_UTF8) return false;
    // The true path for runtimes that read UTF-8; nothing names it for the others.
    bool lost = false;
    std::string bytes = toAnsi(withoutLongPathPrefix(path), lost);
    if (lost) return false;
    ansi.swap(bytes);
    return true;
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
