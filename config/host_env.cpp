#include "config/host_env.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>

#include "runtime/registry.h"

namespace {

const char kQuickTimeKey[] = "SOFTWARE\\Apple Computer, Inc.\\QuickTime";
const char kQuickTimeSuffix[] = "\\QuickTime\\QTSystem\\";

}  // namespace

std::string cleanSearchPath(const char* path) {
    if (!path) return std::string();
    size_t length = std::strlen(path);
    while (length > 0 && path[length - 1] == '\\') --length;
    std::string cleaned(path, length);
    for (char& c : cleaned)
        if (c == '"') c = ' ';
    return cleaned;
}

std::string readSearchPath() { return cleanSearchPath(std::getenv("PATH")); }

std::string quickTimeFallbackDir(const char* programFiles) {
    std::string dir = programFiles ? programFiles : "";
    dir += kQuickTimeSuffix;
    return dir;
}

std::string findQuickTimeDir() {
    HKEY key = nullptr;
    if (openMachineKey(kQuickTimeKey, &key)) {
        char folder[1024];
        // An empty value would grant the policy's permissions to every local file; it counts
        // as absent.
        if (readRegistryValue(key, "QTExtDir", folder, sizeof folder) && folder[0]) return folder;
    }
    // An unset, empty or oversize ProgramFiles gives way to the system's own program files
    // folder: an empty prefix would make "\QuickTime\QTSystem\", which the policy's code base
    // turns into a network host.
    char programFiles[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("ProgramFiles", programFiles, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        programFiles[0] = '\0';
        if (SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles) != S_OK)
            programFiles[0] = '\0';
    }
    return quickTimeFallbackDir(programFiles);
}
