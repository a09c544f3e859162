#include "config/class_path.h"

#include <windows.h>

#include <cstring>

std::string classPathOption;

std::string libraryPathOptionText(const std::string& appDir, const std::string& searchPath,
                                  const std::string& quickTimeDir) {
    // The quotes are part of the text the virtual machine receives.
    std::string option = "-Djava.library.path=\"";
    option += ".;";
    option += appDir;
    option += "\\lib;";
    option += searchPath;
    option += ";";
    option += quickTimeDir;
    option += "\"";
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

void scanArchives(std::string folder) {
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
            // Links and junctions are not followed: one pointing back up would never end.
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            path += "\\";
            scanArchives(path);
        } else if (looksLikeArchive(path)) {
            classPathOption += path;
            classPathOption += ";";
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

void assemblePathOptions(LaunchContext& context) {
    context.libraryPathOption =
        libraryPathOptionText(context.appDir, context.searchPath, context.quickTimeDir);
    classPathOption = classPathHeadText(context.appDir, context.quickTimeDir, context.javaHome);
    scanArchives(context.appDir + "\\lib\\");
}
