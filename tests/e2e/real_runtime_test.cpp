// The launch end to end with a real Java virtual machine (Avian, built from ../shared/avian):
// the demo application's own Java code reports what it received, and the process ends as a
// user would see it. Fault injection and the policy file stay with the stand-in and the JDK.
#include <gtest/gtest.h>

#include "support/launch_fixture.h"

#include <shellapi.h>

using namespace harness;

namespace {

class RealRuntime : public InstalledApp {
protected:
    void SetUp() override {
        if (avianDir().empty()) GTEST_SKIP() << "no Avian source beside the project (../shared/avian)";
        layout = makeLayout(testName());
        copyFile(avianDir() + "\\app\\Korvo.jar", layout.appDir + "\\Korvo.jar");
        makeFolders(layout.appDir + "\\lib\\plugins\\extra");
        copyFile(avianDir() + "\\app\\nested.jar", layout.appDir + "\\lib\\plugins\\extra\\nested.jar");
        installAvianRuntime(layout.root + "\\Maker");
        registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Maker");
    }

    // What the Java side printed (its standard output and error share one file).
    std::vector<std::string> output() const { return traceLines(layout.stderrFile); }
    std::string outputText() const { return readFile(layout.stderrFile); }
};

// Windows' own split of an argument text, as a program named Korvo.exe would get it.
std::vector<std::wstring> windowsSplit(const std::wstring& arguments) {
    std::vector<std::wstring> split;
    int count = 0;
    const std::wstring commandLine = L"Korvo.exe " + arguments;
    LPWSTR* argv = CommandLineToArgvW(commandLine.c_str(), &count);
    for (int i = 1; argv && i < count; ++i) split.push_back(argv[i]);
    LocalFree(argv);
    return split;
}

}  // namespace

TEST_F(RealRuntime, MainSeesArgumentsProfileFolderNestedArchiveAndHeapLimit) {
    // Each row is one argument as written on the command line.
    const std::wstring rows[] = {
        L"\"C:\\Vid\u00e9os\\\u00e9t\u00e9 2026.mov\"",  // accents and a blank
        L"\u041f\u0440\u0438\u0432\u0435\u0442",          // Cyrillic
        L"\u65e5\u672c\u8a9e",                            // CJK
        L"\U0001F600",                                    // a surrogate pair
        L"\"\"",                                          // empty
        L"a\\\\\\\"b",                                    // 2n+1 backslashes before a quote
        L"c\\d\\",                                        // backslashes not before a quote
        L"e\\\\\\\\\"f g\"",                              // 2n backslashes before a quote
        L"x\"y z\"w",                                     // quotes inside an argument
        std::wstring(1, wchar_t(0xD83D)) + L"lone",       // a high surrogate alone
        std::wstring(1, wchar_t(0xDE00)),                 // a low surrogate alone
    };
    std::wstring arguments;
    for (const std::wstring& row : rows) arguments += (arguments.empty() ? L"" : L" ") + row;
    const std::vector<std::wstring> expected = windowsSplit(arguments);
    ASSERT_EQ(expected.size(), sizeof rows / sizeof rows[0]);

    Launch launch = standardLaunch(layout);
    launch.arguments = arguments;
    const LaunchResult result = runKorvo(layout.exe, launch);
    EXPECT_EQ(result.exitCode, 0u) << outputText();
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_FALSE(exists(layout.logFile()));

    const std::vector<std::string> lines = output();
    ASSERT_TRUE(hasLine(lines, "args=" + std::to_string(expected.size()))) << outputText();
    const std::vector<std::string> hex = linesWithPrefix(lines, "arghex[");
    ASSERT_EQ(hex.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(hex[i], "arghex[" + std::to_string(i) + "]=" + utf16Hex(expected[i])) << "argument " << i;

    EXPECT_TRUE(hasLine(lines, "user.dir=" + layout.profile)) << outputText();
    EXPECT_TRUE(hasLine(lines, "nested=com.example.Nested from a nested archive")) << outputText();
    EXPECT_TRUE(hasLine(lines, "maxMemory=536870912")) << outputText();  // -Xmx512m
}

// A profile named outside the ANSI code page (Polish and CJK) is the working folder: main runs,
// and a relative path resolves into that folder.
TEST_F(RealRuntime, ProfileOutsideTheCodePageIsTheWorkingFolder) {
    const std::string profile = layout.root + "\\Users\\\xc5\x81ukasz \xe7\x8e\x8b";
    makeFolders(profile);
    Launch launch = standardLaunch(layout);
    launch.env["USERPROFILE"] = profile;
    launch.env["KORVO_APP_MODE"] = "relative";
    const LaunchResult result = runKorvo(layout.exe, launch);
    EXPECT_EQ(result.exitCode, 0u) << outputText();
    EXPECT_TRUE(hasLine(output(), "main: returning")) << outputText();
    EXPECT_TRUE(exists(profile + "\\relative.txt")) << outputText();
}

TEST_F(RealRuntime, WorkerThreadKeepsTheProcessWhileASecondStartIsRefused) {
    const std::string release = layout.root + "\\release";
    Launch launch = standardLaunch(layout);
    launch.env["KORVO_APP_MODE"] = "hold";
    launch.env["KORVO_APP_RELEASE"] = release;
    RunningKorvo running(layout.exe, launch);
    ASSERT_TRUE(running.waitForTraceLine(layout.stderrFile, "main: returning")) << outputText();
    EXPECT_TRUE(running.stillRunningAfter(500));

    Launch second = standardLaunch(layout);
    second.stderrFile = layout.root + "\\second.txt";
    const LaunchResult refused = runKorvo(layout.exe, second);
    EXPECT_EQ(refused.exitCode, 1u);
    EXPECT_TRUE(refused.boxes.empty());
    EXPECT_EQ(readFile(second.stderrFile), "");
    EXPECT_FALSE(exists(layout.logFile()));
    EXPECT_FALSE(hasLine(output(), "worker: ending after main"));

    writeFile(release, "");
    EXPECT_EQ(running.wait().exitCode, 0u);
    const std::vector<std::string> lines = output();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "worker: ending after main") << outputText();
}

TEST_F(RealRuntime, MainEndsInAnExceptionOrIsMissing) {
    struct Row {
        const char* name;
        const char* mode;
        bool withoutMainClass;
    };
    const Row rows[] = {
        {"exception from main", "throw", false},
        {"Korvo.jar without the main class", "", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        removeTree(layout.profile + "\\Logs");
        if (row.withoutMainClass) copyFile(avianDir() + "\\app\\nested.jar", layout.appDir + "\\Korvo.jar");
        Launch launch = standardLaunch(layout);
        launch.env["KORVO_APP_MODE"] = row.mode;
        const LaunchResult result = runKorvo(layout.exe, launch);
        if (row.withoutMainClass) {
            expectFatalReport(result, layout, "Failed to find main class");
            EXPECT_EQ(outputText().find("args="), std::string::npos);
        } else {
            EXPECT_EQ(result.exitCode, 0u);
            EXPECT_TRUE(result.boxes.empty());
            EXPECT_FALSE(exists(layout.logFile()));
            const std::string text = outputText();
            EXPECT_NE(text.find("args=0"), std::string::npos) << text;
            EXPECT_NE(text.find("IllegalStateException"), std::string::npos) << text;
            EXPECT_NE(text.find("main gave up on purpose"), std::string::npos) << text;
        }
    }
}
