#include "base/report.h"

#include <direct.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/clock.h"
#include "base/logs_folder.h"
#include "base/trace.h"
#include "base/wide_path.h"

namespace {

const char kFatalPrefix[] = "Fatal Error Launching: ";
const char kErrorPrefix[] = "Error Launching: ";
const char kBoxCaption[] = "Korvo.exe";

void appendDecimal(std::string& text, unsigned long value) {
    char digits[16];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value && count < 16);
    while (count > 0) text += digits[--count];
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

std::string composeLaunchErrorText(const char* message, bool fatal) {
    std::string text = fatal ? kFatalPrefix : kErrorPrefix;
    if (message) text += message;
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
