#include "base/registry.h"

#include <cstring>
#include <string>

#include "base/trace.h"
#include "base/wide_path.h"

bool openMachineKey(const char* path, HKEY* key) {
    const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key);
    traceRegistryOpen(path, *key, status);
    return status == ERROR_SUCCESS;
}

bool readRegistryValue(HKEY key, const char* name, char* buffer, size_t capacity) {
    if (!buffer || capacity == 0) return false;
    // One query into scratch space no larger than the destination: a value that does not fit
    // fails with ERROR_MORE_DATA instead of overrunning anything, and its reported size is
    // never used for sizing.
    char scratch[1024];
    const size_t room = capacity < sizeof scratch ? capacity : sizeof scratch;
    DWORD type = 0;
    DWORD got = static_cast<DWORD>(room);
    const LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(scratch), &got);
    traceRegistryRead(key, name, status, type, scratch, got > room ? static_cast<DWORD>(room) : got);
    if (status != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    if (got > room) return false;

    // A string stored without its terminator is terminated here, when there is room.
    const void* terminator = std::memchr(scratch, '\0', got);
    const size_t length = terminator ? static_cast<const char*>(terminator) - scratch : got;
    if (length >= capacity) return false;
    std::memcpy(buffer, scratch, length);
    buffer[length] = '\0';
    return true;
}

namespace {

// The value with its %NAME% references replaced; false when the result cannot be had whole.
bool expandEnvironment(const std::wstring& value, std::wstring& expanded) {
    const DWORD size = ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
    if (size == 0 || size > 32768) return false;
    std::wstring result(size, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(value.c_str(), &result[0], size);
    if (written == 0 || written > size) return false;
    result.resize(written - 1);
    expanded.swap(result);
    return true;
}

}  // namespace

bool readRegistryPath(HKEY key, const char* name, char* buffer, size_t capacity) {
    if (!buffer || capacity == 0 || !name) return false;
    // As readRegistryValue: one query into scratch space of the destination's size in
    // characters, so a value that could never fit fails with ERROR_MORE_DATA.
    wchar_t scratch[1024];
    const size_t room = (capacity < 1024 ? capacity : 1024) * sizeof(wchar_t);
    std::wstring wideName;
    for (const char* c = name; *c; ++c) wideName += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    DWORD type = 0;
    DWORD got = static_cast<DWORD>(room);
    const LONG status = RegQueryValueExW(key, wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(scratch), &got);
    // A string stored without its terminator ends at the data's end (an odd last byte is dropped).
    size_t length = 0;
    const size_t characters = (got > room ? room : got) / sizeof(wchar_t);
    while (status == ERROR_SUCCESS && length < characters && scratch[length] != L'\0') ++length;
    std::wstring value(scratch, length);
    traceRegistryRead(key, name, status, type, value);
    if (status != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    if (got > room) return false;
    if (type == REG_EXPAND_SZ && !expandEnvironment(value, value)) return false;

    std::string text;
    if (length > 0 && !ansiPath(value, text)) return false;
    if (text.size() >= capacity) return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

std::vector<std::string> subkeyNames(HKEY key) {
    std::vector<std::string> names;
    // A key name holds at most 255 characters; a key with thousands of subkeys is no installer's.
    wchar_t name[256];
    for (DWORD index = 0; index < 4096; ++index) {
        DWORD length = 256;
        const LONG status = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) break;
        if (status != ERROR_SUCCESS || length >= 256) continue;
        std::string text;
        for (DWORD at = 0; at < length && name[at] < 0x80; ++at) text += static_cast<char>(name[at]);
        if (text.size() == length) names.push_back(text);
    }
    return names;
}
