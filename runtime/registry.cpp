#include "runtime/registry.h"

#include <cstring>

#include "launcher/trace.h"

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
