#include "config/host_env.h"

#include <windows.h>
#include <shlobj.h>


#include "base/registry.h"
#include "base/wide_path.h"
#include "config/path_text.h"

namespace {

const char kQuickTimeKey[] = "SOFTWARE\\Apple Computer, Inc.\\QuickTime";
const char kQuickTimeSuffix[] = "\\QuickTime\\QTSystem\\";

}  // namespace

std::string cleanSearchPath(const char* path) {
    if (!path) return std::string();
    std::string cleaned = path;
    cleaned.resize(lengthWithoutTrailingBackslashes(cleaned));
    for (char& c : cleaned)
        if (c == '"') c = ' ';
    return cleaned;
}

std::string readSearchPath() {
    std::wstring path;
    if (!readEnvironment(L"PATH", path)) return std::string();
    // Entry by entry, so that one folder the code page cannot name costs no other its text.
    std::string text;
    size_t start = 0;
    for (;;) {
        const size_t end = path.find(L';', start);
        text += ansiPathOrNothing(path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) break;
        text += ';';
        start = end + 1;
    }
    return cleanSearchPath(text.c_str());
}

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
        if (readRegistryPath(key, "QTExtDir", folder, sizeof folder) && folder[0]) return folder;
    }
    // An unset, empty, oversize or inexpressible ProgramFiles gives way to the system's own
    // program files folder: an empty prefix would make "\QuickTime\QTSystem\", which the
    // policy's code base turns into a network host.
    std::wstring programFiles;
    std::string folder;
    if (!readEnvironment(L"ProgramFiles", programFiles) || programFiles.empty() || programFiles.size() >= MAX_PATH ||
        !ansiPath(programFiles, folder)) {
        wchar_t systemFolder[MAX_PATH] = {};
        if (SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, systemFolder) != S_OK ||
            !ansiPath(systemFolder, folder))
            folder.clear();
    }
    return quickTimeFallbackDir(folder.c_str());
}
