#include "launcher/app_dir.h"

#include <windows.h>

#include "config/path_text.h"
#include "launcher/report.h"

std::string appDirFromModulePath(const char* modulePath, const char* currentDir) {
    const std::string path = modulePath ? modulePath : "";
    const size_t separator = lastBackslash(path);
    if (separator != std::string::npos) return path.substr(0, separator);
    std::string dir = currentDir ? currentDir : "";
    while (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    return dir;
}

std::string readAppDir() {
    char modulePath[MAX_PATH] = {};
    // Only a failure of this call may bring up the box, not a code left by an earlier call.
    SetLastError(0);
    GetModuleFileNameA(nullptr, modulePath, MAX_PATH - 1);
    if (GetLastError() != 0) showLastError();
    if (lastBackslash(modulePath) != std::string::npos) return appDirFromModulePath(modulePath, nullptr);
    char currentDir[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, currentDir);
    if (length == 0 || length >= MAX_PATH) currentDir[0] = '\0';
    return appDirFromModulePath(modulePath, currentDir);
}
