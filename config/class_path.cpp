#include "config/class_path.h"

#include <windows.h>

#include <cstring>
#include <utility>
#include <vector>

#include "base/wide_path.h"
#include "config/path_text.h"

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

bool looksLikeArchive(std::wstring_view path) {
    return path.find(L".jar") != std::wstring_view::npos || path.find(L".zip") != std::wstring_view::npos;
}

namespace {

// A folder on the current descent path: its wide path for the file system, its text for the
// class path, and its identity once it has been asked for.
struct ScanLevel {
    std::wstring path;
    std::string text;
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

// The text of a listed name in folder: its ANSI bytes, else the last part of its short form. False
// for a name that neither can express: the runtime could not open it, so it is passed over.
bool entryText(const std::wstring& folder, const wchar_t* name, std::string& text) {
    if (exactAnsiName(name, text)) return true;
    std::string shortPath;
    if (!ansiPath(folder + name, shortPath)) return false;
    const size_t separator = lastBackslash(shortPath);
    text = separator == std::string::npos ? shortPath : shortPath.substr(separator + 1);
    return true;
}

// Below a link, any folder may be one already on the descent path; above every link, none can
// be, so only there identities are asked for (a tree without links asks for none).
void scanLevel(std::vector<ScanLevel>& levels, bool belowLink) {
    // Copies: the levels below this one may move the vector's elements.
    const std::wstring folder = levels.back().path;
    const std::string folderText = levels.back().text;
    // The true path decides, not its short form. No ".jar" or ".zip" spans the backslash that
    // ends the folder's path, so the folder's path and each name are asked apart.
    const bool folderLooksLikeArchive = looksLikeArchive(folder);
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    std::string name;  // reused: a name costs no allocation once it has grown
    do {
        const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder && (std::wcscmp(entry.cFileName, L".") == 0 || std::wcscmp(entry.cFileName, L"..") == 0))
            continue;
        // A file whose path holds neither ".jar" nor ".zip" never reaches the class path.
        if (!isFolder && !folderLooksLikeArchive && !looksLikeArchive(entry.cFileName)) continue;
        if (!entryText(folder, entry.cFileName, name)) continue;
        if (!isFolder) {
            classPathOption += folderText;
            classPathOption += name;
            classPathOption += ";";
            continue;
        }
        // The listing already tells folders from files; no second question to the file system.
        ScanLevel next = {folder + entry.cFileName + L"\\", folderText + name + "\\", false, {}};
        const bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (link || belowLink) {
            // A folder already on the descent path would start a cycle; one whose identity
            // cannot be read might, so it is left out too.
            if (!identifyLevels(levels) || !readFolderIdentity(next.path, next.identity)) continue;
            next.known = true;
            bool onPath = false;
            for (const ScanLevel& level : levels) onPath = onPath || sameFolder(level.identity, next.identity);
            if (onPath) continue;
        }
        levels.push_back(std::move(next));
        scanLevel(levels, link || belowLink);
        levels.pop_back();
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

}  // namespace

bool readFolderIdentity(const std::wstring& folder, FolderIdentity& identity) {
    // Opening a link opens what it points to, whose identity is the one that counts.
    HANDLE handle = CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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

void scanArchives(const std::string& folder) {
    // The folder's text is an exact or a short form: either names the folder.
    std::vector<ScanLevel> levels;
    levels.push_back({widenAnsi(folder), folder, false, {}});
    scanLevel(levels, false);
}

void assemblePathOptions(LaunchContext& context) {
    context.libraryPathOption =
        libraryPathOptionText(context.appDir, context.searchPath, context.quickTimeDir);
    classPathOption = classPathHeadText(context.appDir, context.quickTimeDir, context.javaHome);
    scanArchives(context.appDir + "\\lib\\");
}
