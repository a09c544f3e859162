#include "launcher/app_dir.h"

#include <windows.h>

#include "base/report.h"
#include "base/wide_path.h"
#include "config/path_text.h"

namespace {

// The whole path, however long: a path cut at the buffer's end would make an ancestor folder,
// granted every permission, the application folder.
bool readModulePath(std::wstring& path) {
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::wstring buffer(size, L'\0');
        const DWORD length = GetModuleFileNameW(nullptr, &buffer[0], size);
        if (length == 0) return false;
        if (length < size) {
            buffer.resize(length);
            path.swap(buffer);
            return true;
        }
    }
    return false;
}

std::string currentDirectory() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0 || size > 32768) return std::string();
    std::wstring dir(size, L'\0');
    const DWORD length = GetCurrentDirectoryW(size, &dir[0]);
    if (length == 0 || length >= size) return std::string();
    dir.resize(length);
    return ansiPathOrNothing(dir);
}

}  // namespace

std::string appDirFromModulePath(const char* modulePath, const char* currentDir) {
    const std::string path = modulePath ? modulePath : "";
    const size_t separator = lastBackslash(path);
    if (separator != std::string::npos) return path.substr(0, separator);
    std::string dir = currentDir ? currentDir : "";
    while (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    return dir;
}

std::string readAppDir() {
    std::wstring modulePath;
    if (!readModulePath(modulePath)) showLastError();
    // The folder is cut from the wide path, where no character's second half is a backslash.
    const size_t separator = modulePath.rfind(L'\\');
    if (separator != std::wstring::npos) return ansiPathOrNothing(modulePath.substr(0, separator));
    return appDirFromModulePath("", currentDirectory().c_str());
}
