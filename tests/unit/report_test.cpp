// Error reporting: the session log's bytes, where it goes, and the last-error box.
#include <gtest/gtest.h>

#include <time.h>

#include <ctime>

#include "base/clock.h"
#include "base/logs_folder.h"
#include "base/report.h"
#include "base/trace.h"
#include "launcher/app_dir.h"
#include "support/harness.h"

using namespace harness;

namespace {

std::tm sampleTime() {
    std::tm when = {};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 9;
    when.tm_wday = 3;
    when.tm_hour = 0;
    when.tm_min = 46;
    when.tm_sec = 5;
    return when;
}

class ProfileScope {
public:
    explicit ProfileScope(const char* profile) { setProcessEnv("USERPROFILE", profile); }
    ~ProfileScope() { setProcessEnv("USERPROFILE", nullptr); }
};

}  // namespace

TEST(LogRecord, ComposedTextCarriesThePrefixAndTheMessageUnchanged) {
    EXPECT_EQ(composeLaunchErrorText("Error loading JVM", true), "Fatal Error Launching: Error loading JVM");
    EXPECT_EQ(composeLaunchErrorText("Error loading msvcr71.dll", false),
              "Error Launching: Error loading msvcr71.dll");
    EXPECT_EQ(composeLaunchErrorText("Can't create Java VM ", true),
              "Fatal Error Launching: Can't create Java VM ");
    EXPECT_EQ(composeLaunchErrorText("100% %s %n", false), "Error Launching: 100% %s %n");
}

TEST(LogRecord, TimeStampHasTheFixedTwentyFourCharacterLayout) {
    EXPECT_EQ(formatTimeStamp(sampleTime()), "Wed Dec 09 00:46:05 2026");
    std::tm when = sampleTime();
    when.tm_mday = 28;
    when.tm_mon = 1;
    when.tm_wday = 0;
    when.tm_hour = 23;
    when.tm_min = 59;
    when.tm_sec = 59;
    EXPECT_EQ(formatTimeStamp(when), "Sun Feb 28 23:59:59 2026");
    // Out-of-range fields never produce a longer text.
    when.tm_wday = 9;
    when.tm_mon = -4;
    when.tm_year = 99999;
    EXPECT_EQ(formatTimeStamp(when).size(), 24u);
}

TEST(LogRecord, RecordIsSeventyFourBytesAroundTheText) {
    const std::string text = "Fatal Error Launching: Error loading JVM";
    const std::string record = formatLogRecord("Wed Dec 09 00:46:05 2026", text);
    EXPECT_EQ(record.size(), text.size() + 74);
    EXPECT_EQ(record,
              "\r\n##### Wed Dec 09 00:46:05 2026\r\n"
              "\r\n"
              "Fatal Error Launching: Error loading JVM\r\n\r\n"
              "##############################\r\n\r\n");
}

TEST(LogRecord, LogPathNeedsAProfileAndMustFitTheBuffer) {
    std::wstring dir, file;
    EXPECT_FALSE(sessionLogPaths(L"", dir, file));  // would be \Logs at a drive root
    ASSERT_TRUE(sessionLogPaths(L"C:\\Users\\user1", dir, file));
    EXPECT_EQ(dir, L"C:\\Users\\user1\\Logs");
    EXPECT_EQ(file, L"C:\\Users\\user1\\Logs\\Korvo Session Log.txt");
    // 996 characters of profile make a 1023-character path, the most the log path may hold.
    EXPECT_TRUE(sessionLogPaths(std::wstring(996, L'p'), dir, file));
    EXPECT_EQ(file.size(), 1023u);
    dir = L"unchanged";
    EXPECT_FALSE(sessionLogPaths(std::wstring(997, L'p'), dir, file));
    EXPECT_EQ(dir, L"unchanged");
}

TEST(SessionLog, NonFatalReportCreatesLogsFolderAppendsAndReturns) {
    const Layout layout = makeLayout("report-nonfatal");
    ProfileScope profile(layout.profile.c_str());
    ASSERT_FALSE(exists(layout.profile + "\\Logs"));

    reportLaunchError("first 100% %s %n", false);
    ASSERT_TRUE(isFolder(layout.profile + "\\Logs"));
    reportLaunchError("second", false);

    std::vector<LogRecord> records;
    ASSERT_TRUE(parseSessionLog(readFile(layout.logFile()), records));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].text, "Error Launching: first 100% %s %n");
    EXPECT_EQ(records[1].text, "Error Launching: second");
}

// The record a launch writes on a date past 2038, the clock answering 29 February 2040, 12:00:00
// UTC; the expected local stamp comes from the C library's own 64-bit conversion.
TEST(SessionLog, RecordOfADatePast2038CarriesThatDate) {
    const long long unixSeconds = 2214129600;  // 2040-02-29 12:00:00 UTC
    static unsigned long long ticks;
    ticks = (static_cast<unsigned long long>(unixSeconds) + 11644473600ull) * 10000000ull;
    const __time64_t when = unixSeconds;
    const std::tm* local = _localtime64(&when);
    ASSERT_NE(local, nullptr);
    char expected[32] = {};
    ASSERT_EQ(std::strftime(expected, sizeof expected, "%a %b %d %H:%M:%S %Y", local), 24u);

    const Layout layout = makeLayout("report-2040");
    ProfileScope profile(layout.profile.c_str());
    unsigned long long (*const saved)() = sessionLogClock;
    sessionLogClock = [] { return ticks; };
    reportLaunchError("Error loading msvcr71.dll", false);
    sessionLogClock = saved;

    std::vector<LogRecord> records;
    ASSERT_TRUE(parseSessionLog(readFile(layout.logFile()), records));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].stamp, expected);
    EXPECT_EQ(records[0].stamp.substr(20), "2040");
}

TEST(SessionLog, ExistingLogKeepsItsContent) {
    const Layout layout = makeLayout("report-existing");
    makeFolders(layout.profile + "\\Logs");
    writeFile(layout.logFile(), "earlier content\n");
    ProfileScope profile(layout.profile.c_str());
    reportLaunchError("Error loading msvcr71.dll", false);
    const std::string bytes = readFile(layout.logFile());
    ASSERT_EQ(bytes.compare(0, 16, "earlier content\n"), 0);
    std::vector<LogRecord> records;
    ASSERT_TRUE(parseSessionLog(bytes.substr(16), records));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].text, "Error Launching: Error loading msvcr71.dll");
}

TEST(SessionLog, UnusableProfileWritesNothingAndStillReturns) {
    const Layout layout = makeLayout("report-noprofile");
    SetCurrentDirectoryA(layout.root.c_str());
    {
        ProfileScope unset(nullptr);
        reportLaunchError("no profile", false);
    }
    {
        ProfileScope empty("");
        reportLaunchError("empty profile", false);
    }
    {
        // The profile folder itself is never created, so the log cannot be opened.
        const std::string missing = layout.root + "\\missing\\user";
        ProfileScope absent(missing.c_str());
        reportLaunchError("missing profile", false);
        EXPECT_FALSE(exists(missing));
    }
    EXPECT_FALSE(exists("C:\\Logs"));
    EXPECT_FALSE(exists(layout.root + "\\Logs"));
}

// The trace switched on in this process, and off again by its last line, as a launch ends it.
TEST(LaunchTrace, ShowsControlCharactersEscapedAndKeepsTheCallersLastError) {
    const Layout layout = makeLayout("trace-in-process");
    ProfileScope profile(layout.profile.c_str());
    setProcessEnv("KORVO_TRACE", "1");
    traceStart();
    setProcessEnv("KORVO_TRACE", nullptr);
    ASSERT_TRUE(traceEnabled());

    traceLine({"environment PATH=", "\"C:\\a\r\n   12 ms  guard: forged\x01\x7F\""});
    SetLastError(ERROR_BAD_EXE_FORMAT);
    traceLoad("C:\\kt\\trace-in-process\\missing.dll", nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));

    const std::vector<std::string> steps = launchTraceSteps(layout.launchTrace());
    traceExit(3);
    EXPECT_FALSE(traceEnabled());
    ASSERT_GE(steps.size(), 2u) << readFile(layout.launchTrace());
    EXPECT_EQ(steps[steps.size() - 2],
              "environment PATH=\"C:\\a\\u000D\\u000A   12 ms  guard: forged\\u0001\\u007F\"");
    EXPECT_EQ(steps.back().rfind("load \"C:\\kt\\trace-in-process\\missing.dll\": failed, error 193: ", 0), 0u)
        << steps.back();
}

TEST(LastErrorBox, ShowsTheSystemTextOrTheCodeAndReturns) {
    OwnBoxWatcher watcher;
    SetLastError(ERROR_FILE_NOT_FOUND);
    showLastError();
    SetLastError(0x2FFF1234);  // no system text for this one
    showLastError();
    const std::vector<Box> boxes = watcher.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_NE(boxes[0].text.find("not found"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(boxes[1].caption, "Error");
    EXPECT_NE(boxes[1].text.find("805245492"), std::string::npos) << boxes[1].text;
    EXPECT_NE(boxes[1].text.find("0x2FFF1234"), std::string::npos) << boxes[1].text;
}

TEST(AppDir, IsTheFolderOfTheExecutablesPath) {
    struct Case {
        const wchar_t* modulePath;
        const wchar_t* currentDir;
        const wchar_t* appDir;
    } cases[] = {
        {L"C:\\Apps\\Korvo\\Korvo.exe", L"D:\\elsewhere", L"C:\\Apps\\Korvo"},
        {L"C:\\Korvo.exe", L"", L"C:"},
        {L"\\\\server\\share\\Korvo.exe", L"", L"\\\\server\\share"},
        {L"C:\\a b\\c.d\\Korvo.exe", L"", L"C:\\a b\\c.d"},
        // No backslash: the path was not read; the current folder stands in for it.
        {L"", L"D:\\work", L"D:\\work"},
        {L"Korvo.exe", L"C:\\", L"C:"},
        {L"", L"", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(appDirOf(c.modulePath, c.currentDir), c.appDir);
}
