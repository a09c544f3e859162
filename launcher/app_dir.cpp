#include "launcher/app_dir.h"

#include <windows.h>

#include "base/report.h"
#include "base/wide_path.h"

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

std::wstring currentDirectory() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0 || size > 32768) return std::wstring();
    std::wstring dir(size, L'\0');
    const DWORD length = GetCurrentDirectoryW(size, &dir[0]);
    if (length == 0 || length >= size) return std::wstring();
    dir.resize(length);
    return dir;
}

}  // namespace

std::wstring appDirOf(const std::wstring& modulePath, const std::wstring& currentDir) {
    const size_t separator = modulePath.rfind(L'\\');
    if (separator != std::wstring::npos) return modulePath.substr(0, separator);
    std::wstring dir = currentDir;
    while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
    return dir;
}

std::string readAppDir() {
    std::wstring modulePath;
    if (!readModulePath(modulePath)) showLastError();
    // The current folder is asked only when the path has no folder to cut.
    const bool hasFolder = modulePath.find(L'\\') != std::wstring::npos;
    return ansiPathOrNothing(appDirOf(modulePath, hasFolder ? std::wstring() : currentDirectory()));
}
