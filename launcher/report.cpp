#include "launcher/report.h"

#include <direct.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/wide_path.h"
#include "launcher/trace.h"

namespace {

const char kFatalPrefix[] = "Fatal Error Launching: ";
const char kErrorPrefix[] = "Error Launching: ";
const char kBoxCaption[] = "Korvo.exe";
const wchar_t kLogsFolder[] = L"\\Logs";
const wchar_t kLogFileName[] = L"Korvo Session Log.txt";
// The log path is composed in a 1024-byte buffer: at most 1023 characters.
constexpr size_t kLogPathCapacity = 1023;

// Appends value as exactly width decimal digits (leading zeros; higher digits dropped).
void appendDigits(std::string& text, unsigned long value, int width) {
    char digits[16];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    text.append(digits, width);
}

void appendDecimal(std::string& text, unsigned long value) {
    char digits[16];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value && count < 16);
    while (count > 0) text += digits[--count];
}

unsigned long field(int value, int limit) {
    return value >= 0 ? static_cast<unsigned long>(value % limit) : 0;
}

unsigned long long systemClock() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

void appendLogRecord(const std::string& record) {
    // The profile's wide form reaches the true folder whatever the ANSI code page holds.
    std::wstring profile, logsDir, logFile;
    if (!readEnvironment(L"USERPROFILE", profile) || !sessionLogPaths(profile, logsDir, logFile)) return;
    _wmkdir(logsDir.c_str());  // one level; an existing folder is fine
    // Binary append: the record already carries its CR LF pairs.
    FILE* file = _wfopen(logFile.c_str(), L"ab");
    if (!file) return;
    std::fwrite(record.data(), 1, record.size(), file);
    std::fclose(file);
}

}  // namespace

unsigned long long (*sessionLogClock)() = systemClock;

std::tm localTimeFields(unsigned long long utcTicks) {
    // The system's own conversion works on 64-bit counts: no year 2038 limit, whatever the
    // width of the C library's time_t. The time zone's rules are those in force on that date.
    FILETIME utc;
    utc.dwLowDateTime = static_cast<DWORD>(utcTicks & 0xFFFFFFFFull);
    utc.dwHighDateTime = static_cast<DWORD>(utcTicks >> 32);
    SYSTEMTIME universal, fields;
    std::tm when = {};
    if (!FileTimeToSystemTime(&utc, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &fields))
        return when;
    when.tm_year = fields.wYear - 1900;
    when.tm_mon = fields.wMonth - 1;
    when.tm_mday = fields.wDay;
    when.tm_wday = fields.wDayOfWeek;
    when.tm_hour = fields.wHour;
    when.tm_min = fields.wMinute;
    when.tm_sec = fields.wSecond;
    return when;
}

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
    std::string text = kDays[day];
    text += ' ';
    text += kMonths[month];
    text += ' ';
    appendDigits(text, field(when.tm_mday, 100), 2);
    text += ' ';
    appendDigits(text, field(when.tm_hour, 100), 2);
    text += ':';
    appendDigits(text, field(when.tm_min, 100), 2);
    text += ':';
    appendDigits(text, field(when.tm_sec, 100), 2);
    text += ' ';
    const int year = when.tm_year > 10000 ? 10000 : when.tm_year;  // no overflow adding 1900
    appendDigits(text, field(year + 1900, 10000), 4);
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

bool sessionLogPaths(const std::wstring& userProfile, std::wstring& logsDir, std::wstring& logFile) {
    if (userProfile.empty()) return false;
    std::wstring dir = userProfile + kLogsFolder;
    std::wstring file = dir + L"\\" + kLogFileName;
    if (file.size() > kLogPathCapacity) return false;
    logsDir.swap(dir);
    logFile.swap(file);
    return true;
}

std::string unknownErrorText(unsigned long code) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text = "Windows error ";
    appendDecimal(text, code);
    text += " (0x";
    for (int shift = 28; shift >= 0; shift -= 4) text += kHex[(code >> shift) & 0xF];
    text += ")";
    return text;
}

void reportLaunchError(const char* message, bool fatal) {
    const std::string text = composeLaunchErrorText(message, fatal);
    traceLine({fatal ? "error reported in the session log and a box: " : "error reported in the session log: ", text});
    appendLogRecord(formatLogRecord(formatTimeStamp(localTimeFields(sessionLogClock())), text));
    if (!fatal) return;
    MessageBoxA(nullptr, text.c_str(), kBoxCaption, MB_OK);
    std::exit(traceExit(1));
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
