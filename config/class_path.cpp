#include "config/class_path.h"

#include <windows.h>

#include <cstring>
#include <vector>

std::string classPathOption;

std::string libraryPathOptionText(const std::string& appDir, const std::string& searchPath,
                                  const std::string& quickTimeDir) {
    // No quotes: older runtimes keep them as part of the first and last entries, newer ones read
    // the whole quoted text as one entry; either way the entries would never be searched.
    std::string option = "-Djava.library.path=";
    option += ".;";
    option += appDir;
    option += "\\lib;";
    option += searchPath;
    option += ";";
    option += quickTimeDir;
    return option;
}

std::string classPathHeadText(const std::string& appDir, const std::string& quickTimeDir,
                              const char* javaHome) {
    std::string option = "-Djava.class.path=";
    option += appDir;
    option += "\\Korvo.jar;";
    option += quickTimeDir;
    option += "QTJava.zip;";
    option += javaHome ? javaHome : "";
    option += ";";
    return option;
}

bool looksLikeArchive(const std::string& path) {
    return path.find(".jar") != std::string::npos || path.find(".zip") != std::string::npos;
}

namespace {

// A folder on the current descent path, with its identity once it has been asked for.
struct ScanLevel {
    std::string path;
    bool known;
    FolderIdentity identity;
};

bool sameFolder(const FolderIdentity& a, const FolderIdentity& b) {
    return a.volume == b.volume && a.index == b.index;
}

// Fills in the identities of the levels not yet asked; false when one cannot be read.
bool identifyLevels(std::vector<ScanLevel>& levels) {
    for (ScanLevel& level : levels) {
        if (level.known) continue;
        if (!readFolderIdentity(level.path, level.identity)) return false;
        level.known = true;
    }
    return true;
}

// Below a link, any folder may be one already on the descent path; above every link, none can
// be, so only there identities are asked for (a tree without links asks for none).
void scanLevel(std::vector<ScanLevel>& levels, bool belowLink) {
    const std::string folder = levels.back().path;
    WIN32_FIND_DATAA entry;
    const std::string pattern = folder + "*";
    HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string path = folder + entry.cFileName;
        // The listing already tells folders from files; no second question to the file system.
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (std::strcmp(entry.cFileName, ".") == 0 || std::strcmp(entry.cFileName, "..") == 0)
                continue;
            path += "\\";
            const bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            ScanLevel next = {path, false, {}};
            if (link || belowLink) {
                // A folder already on the descent path would start a cycle; one whose identity
                // cannot be read might, so it is left out too.
                if (!identifyLevels(levels) || !readFolderIdentity(path, next.identity)) continue;
                next.known = true;
                bool onPath = false;
                for (const ScanLevel& level : levels) onPath = onPath || sameFolder(level.identity, next.identity);
                if (onPath) continue;
            }
            levels.push_back(next);
            scanLevel(levels, link || belowLink);
            levels.pop_back();
        } else if (looksLikeArchive(path)) {
            classPathOption += path;
            classPathOption += ";";
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

}  // namespace

bool readFolderIdentity(const std::string& folder, FolderIdentity& identity) {
    // Opening a link opens what it points to, whose identity is the one that counts.
    HANDLE handle = CreateFileA(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    const BOOL read = GetFileInformationByHandle(handle, &information);
    CloseHandle(handle);
    if (!read) return false;
    identity.volume = information.dwVolumeSerialNumber;
    identity.index = (static_cast<unsigned long long>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return true;
}

void scanArchives(std::string folder) {
    std::vector<ScanLevel> levels;
    levels.push_back({folder, false, {}});
    scanLevel(levels, false);
}

void assemblePathOptions(LaunchContext& context) {
    context.libraryPathOption =
        libraryPathOptionText(context.appDir, context.searchPath, context.quickTimeDir);
    classPathOption = classPathHeadText(context.appDir, context.quickTimeDir, context.javaHome);
    scanArchives(context.appDir + "\\lib\\");
}
