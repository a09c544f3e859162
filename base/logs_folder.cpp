#include "base/logs_folder.h"

namespace {

const wchar_t kLogsFolder[] = L"\\Logs";
const wchar_t kLogFileName[] = L"Korvo Session Log.txt";
// The log path is composed in a 1024-byte buffer: at most 1023 characters.
constexpr size_t kLogPathCapacity = 1023;

}  // namespace

bool sessionLogPaths(const std::wstring& userProfile, std::wstring& logsDir, std::wstring& logFile) {
    if (userProfile.empty()) return false;
    std::wstring dir = userProfile + kLogsFolder;
    std::wstring file = dir + L"\\" + kLogFileName;
    if (file.size() > kLogPathCapacity) return false;
    logsDir.swap(dir);
    logFile.swap(file);
    return true;
}
