#include "launcher/report.h"

#include <direct.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kFatalPrefix[] = "Fatal Error Launching: ";
const char kErrorPrefix[] = "Error Launching: ";
const char kBoxCaption[] = "Korvo.exe";
const char kLogsFolder[] = "\\Logs";
const char kLogFileName[] = "Korvo Session Log.txt";
// The log path is composed in a 1024-byte buffer: at most 1023 characters.
constexpr size_t kLogPathCapacity = 1023;

void appendLogRecord(const std::string& record) {
    std::string logsDir, logFile;
    if (!sessionLogPaths(std::getenv("USERPROFILE"), logsDir, logFile)) return;
    _mkdir(logsDir.c_str());  // one level; an existing folder is fine
    // Binary append: the record already carries its CR LF pairs.
    FILE* file = std::fopen(logFile.c_str(), "ab");
    if (!file) return;
    std::fwrite(record.data(), 1, record.size(), file);
    std::fclose(file);
}

}  // namespace

std::string composeLaunchErrorText(const char* message, bool fatal) {
    std::string text = fatal ? kFatalPrefix : kErrorPrefix;
    if (message) text += message;
    return text;
}

std::string formatTimeStamp(const std::tm& when) {
    static const char kDays[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int day = when.tm_wday >= 0 && when.tm_wday < 7 ? when.tm_wday : 0;
    const int month = when.tm_mon >= 0 && when.tm_mon < 12 ? when.tm_mon : 0;
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %04d", kDays[day], kMonths[month],
                  when.tm_mday % 100, when.tm_hour % 100, when.tm_min % 100, when.tm_sec % 100,
                  (when.tm_year + 1900) % 10000);
    return text;
}

std::string formatLogRecord(const std::string& timeStamp, const std::string& composedText) {
    std::string record;
    record.reserve(composedText.size() + 80);
    record += "\r\n##### ";
    record += timeStamp;
    record += "\r\n";
    record += "\r\n";
    record += composedText;
    record += "\r\n\r\n";
    record += "##############################\r\n\r\n";
    return record;
}

bool sessionLogPaths(const char* userProfile, std::string& logsDir, std::string& logFile) {
    if (!userProfile || !*userProfile) return false;
    std::string dir = userProfile;
    dir += kLogsFolder;
    std::string file = dir + "\\" + kLogFileName;
    if (file.size() > kLogPathCapacity) return false;
    logsDir = dir;
    logFile = file;
    return true;
}

std::string unknownErrorText(unsigned long code) {
    char text[64];
    std::snprintf(text, sizeof text, "Windows error %lu (0x%08lX)", code, code);
    return text;
}

void reportLaunchError(const char* message, bool fatal) {
    const std::string text = composeLaunchErrorText(message, fatal);
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    std::tm when = {};
    if (local) when = *local;
    appendLogRecord(formatLogRecord(formatTimeStamp(when), text));
    if (!fatal) return;
    MessageBoxA(nullptr, text.c_str(), kBoxCaption, MB_OK);
    std::exit(1);
}

void showLastError() {
    const DWORD code = GetLastError();
    char* systemText = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&systemText),
        0, nullptr);
    if (length && systemText) {
        MessageBoxA(nullptr, systemText, "Error", MB_OK);
    } else {
        MessageBoxA(nullptr, unknownErrorText(code).c_str(), "Error", MB_OK);
    }
    if (systemText) LocalFree(systemText);
}
