// Bounded registry string reads under HKEY_LOCAL_MACHINE.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// Opens a key under HKEY_LOCAL_MACHINE for reading. The key is never closed: it lives until
// the process ends, like every key of the launch.
bool openMachineKey(const char* path, HKEY* key);

// Reads a string value (REG_SZ or REG_EXPAND_SZ, taken as stored: nothing is expanded) into
// buffer, zero-terminated. A missing value, one of another type, or one that does not fit
// counts as unreadable: the result is false and the buffer is left as it was.
bool readRegistryValue(HKEY key, const char* name, char* buffer, size_t capacity);

// A path value read in its wide form and turned into the text the runtime gets (its exact ANSI
// bytes, else its short form); a path the ANSI code page cannot express counts as unreadable,
// like any other value that readRegistryValue refuses. A REG_EXPAND_SZ value has its environment
// variables expanded first, as the type asks.
bool readRegistryPath(HKEY key, const char* name, char* buffer, size_t capacity);

// The names of a key's subkeys, in the order the registry gives them; a name outside ASCII is
// left out (the callers look for version numbers). Bounded, however many there are.
std::vector<std::string> subkeyNames(HKEY key);
