// Complete launches: the machine's options and working directory, the arguments main
// receives, exceptions, lookup failures, and the life of the process.
#include <gtest/gtest.h>

#include "support/launch_fixture.h"

using namespace harness;

namespace {

class FullLaunch : public InstalledApp {
protected:
    void SetUp() override {
        InstalledApp::SetUp();
        installMakersRuntime();
    }

    // The file whose creation lets a held-open stand-in main (or its thread) end.
    std::string releaseFile() const { return layout.root + "\\release"; }

    // A launch whose main stays in the given mode ("block" or "thread") until releaseFile exists.
    Launch heldLaunch(const std::string& mode) const {
        Launch launch = standardLaunch(layout);
        launch.env["KORVO_STANDIN_MODE"] = mode;
        launch.env["KORVO_STANDIN_RELEASE"] = releaseFile();
        return launch;
    }

    LaunchResult launch(const std::wstring& arguments = L"", const std::string& mode = "") {
        Launch launch = standardLaunch(layout);
        launch.arguments = arguments;
        if (!mode.empty()) launch.env["KORVO_STANDIN_MODE"] = mode;
        return runKorvo(layout.exe, launch);
    }

    std::vector<std::string> argHex() {
        std::vector<std::string> hex;
        for (const std::string& line : linesWithPrefix(trace(), "arghex["))
            hex.push_back(line.substr(line.find("]=") + 2));
        return hex;
    }

};

// The folders of the worked examples, made in the test prefix's drive C:.
class ExampleFolders : public ::testing::Test {
protected:
    Registry registry;
    const std::string appDir = "C:\\Apps\\Korvo";
    const std::string profile = "C:\\Users\\user1";
    const std::string temp = "C:\\Documents and Settings\\user1\\Local Settings\\Temp";
    const std::string javaRoot = "C:\\Program Files\\Java";
    const std::string traceFile = "C:\\kt\\example-trace.txt";

    void SetUp() override {
        TearDown();
        makeFolders(appDir + "\\lib\\sub");
        makeFolders(profile);
        makeFolders(temp);
        makeFolders("C:\\kt");
        copyFile(korvoExe(), appDir + "\\Korvo.exe");
        installMainJar(appDir);
        writeFile(appDir + "\\lib\\a.jar", "");
        writeFile(appDir + "\\lib\\readme.txt", "");
        writeFile(appDir + "\\lib\\sub\\b.zip", "");
        installPrivateRuntime(javaRoot);
        registry.setString(Registry::kMakerKey, "JAVA_HOME", javaRoot);
        registry.setString(Registry::kQuickTimeKey, "QTExtDir", "C:\\Program Files\\QuickTime\\QTSystem\\");
    }

    void TearDown() override {
        removeTree("C:\\Apps");
        removeTree(profile);
        removeTree("C:\\Documents and Settings\\user1");
        removeTree(javaRoot + "\\jre1.6.0_02");
        removeTree(traceFile);
    }
};

}  // namespace

TEST_F(ExampleFolders, SevenOptionsArriveInOrderInTheProfileFolder) {
    Launch launch;
    launch.env["USERPROFILE"] = profile;
    launch.env["TEMP"] = temp;
    launch.env["PATH"] = "C:\\Windows;C:\\Tools";
    launch.env["ProgramFiles"] = "C:\\Program Files";
    launch.env["KORVO_STANDIN_TRACE"] = traceFile;
    launch.env["KORVO_STANDIN_MODE"] = "process";
    const LaunchResult result = runKorvo(appDir + "\\Korvo.exe", launch);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.boxes.empty());

    const std::vector<std::string> lines = traceLines(traceFile);
    EXPECT_TRUE(hasLine(lines, "create version=0x00010004 nOptions=7 ignoreUnrecognized=1"));
    const std::vector<std::string> expected = {
        "-Djava.class.path=C:\\Apps\\Korvo\\Korvo.jar;C:\\Program Files\\QuickTime\\QTSystem\\QTJava.zip;"
        "C:\\Program Files\\Java\\jre1.6.0_02;C:\\Apps\\Korvo\\lib\\a.jar;C:\\Apps\\Korvo\\lib\\sub\\b.zip;",
        "-Djava.library.path=.;C:\\Apps\\Korvo\\lib;C:\\Windows;C:\\Tools;C:\\Program Files\\QuickTime\\QTSystem\\",
        "-Djava.security.manager",
        "-Djava.security.policy=file:/C:/Documents%20and%20Settings/user1/Local%20Settings/Temp/Korvo.exe.policy",
        "-XX:ErrorFile=C:\\Users\\user1\\Logs\\Korvo.exe_error%p.log",
        "-Xms256m",
        "-Xmx512m",
    };
    EXPECT_EQ(traceOptions(lines), expected);
    EXPECT_TRUE(hasLine(lines, "cwd=C:\\Users\\user1")) << readFile(traceFile);
    EXPECT_TRUE(exists(temp + "\\Korvo.exe.policy"));
    // The process as the manifest sets it up for the runtime: Common Controls 6 from its own
    // assembly, and no DPI awareness declared (the system then scales the runtime's windows).
    const auto controls = linesWithPrefix(lines, "process comctl32=");
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_NE(controls[0].find("\\x86_microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::string::npos)
        << controls[0];
    EXPECT_TRUE(hasLine(lines, "process dpiAware=<none>"));
    EXPECT_TRUE(hasLine(lines, "process dpiAwareness=<none>"));
}

TEST_F(FullLaunch, NoArgumentsGiveAnEmptyArray) {
    const LaunchResult result = launch();
    EXPECT_EQ(result.exitCode, 0u);
    const auto lines = trace();
    EXPECT_TRUE(hasLine(lines, "NewObjectArray length=0"));
    EXPECT_TRUE(hasLine(lines, "main args=0"));
    EXPECT_TRUE(traceArgs(lines).empty());
}

TEST_F(FullLaunch, ArgumentsArriveInOrderAsTheCommandLineSplitsThem) {
    EXPECT_EQ(launch(L"plain \"with blank\" \"\" a\\\\\\\"b c\\d").exitCode, 0u);
    const std::vector<std::string> expected = {"plain", "with blank", "", "a\\\"b", "c\\d"};
    EXPECT_EQ(traceArgs(trace()), expected);
    EXPECT_TRUE(hasLine(trace(), "main args=5"));
}

TEST_F(FullLaunch, ArgumentsOutsideTheAnsiCodePageArriveExactly) {
    const std::wstring args[] = {L"C:\\Vid\u00e9os\\\u00e9t\u00e9.mov", L"\u041f\u0440\u0438\u0432\u0435\u0442",
                                 L"\u65e5\u672c\u8a9e", L"\U0001F600"};
    std::wstring commandLine;
    for (const std::wstring& arg : args) commandLine += L"\"" + arg + L"\" ";
    EXPECT_EQ(launch(commandLine).exitCode, 0u);
    const std::vector<std::string> hex = argHex();
    ASSERT_EQ(hex.size(), 4u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(hex[i], utf16Hex(args[i])) << i;
    EXPECT_EQ(traceArgs(trace())[0], "C:\\Vid\xc3\xa9os\\\xc3\xa9t\xc3\xa9.mov");
}

TEST_F(FullLaunch, ProgramNameNeverReachesMain) {
    const std::wstring names[] = {L"Korvo.exe", L"Korvo", L"\"Korvo.exe\""};
    for (const std::wstring& name : names) {
        removeTree(layout.trace);
        Launch launch = standardLaunch(layout);
        launch.currentDir = layout.appDir;
        launch.programText = name;
        launch.arguments = L"only";
        EXPECT_EQ(runKorvo(layout.exe, launch).exitCode, 0u);
        const std::vector<std::string> expected = {"only"};
        EXPECT_EQ(traceArgs(trace()), expected);
    }
}

TEST_F(FullLaunch, ThrowingMainIsDescribedAndStillExitsZero) {
    const LaunchResult result = launch(L"x", "throw");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.boxes.empty());
    const auto lines = trace();
    EXPECT_TRUE(hasLine(lines, "main threw java.lang.RuntimeException"));
    EXPECT_FALSE(linesWithPrefix(lines, "ExceptionDescribe java.lang.RuntimeException").empty());
    EXPECT_TRUE(hasLine(lines, "DestroyJavaVM returned"));
    EXPECT_NE(readFile(layout.stderrFile).find("Exception in thread \"main\""), std::string::npos);
    EXPECT_FALSE(exists(layout.logFile()));
}

TEST_F(FullLaunch, MissingMainClassIsAFatalReport) {
    removeTree(layout.appDir + "\\Korvo.jar");
    makeFolders(layout.appDir + "\\lib");
    copyFile(jarsDir() + "\\other.jar", layout.appDir + "\\lib\\other.jar");
    expectFatalReport(launch(), layout, "Failed to find main class");
    EXPECT_TRUE(linesWithPrefix(trace(), "GetStaticMethodID").empty());
}

TEST_F(FullLaunch, MissingMainMethodOrStringClassEndThroughTheMachine) {
    const std::pair<const char*, const char*> cases[] = {
        {"no-main", "FatalError Failed to find jmethodID of 'main'"},
        {"no-string", "FatalError Failed to find java/lang/String"},
    };
    for (const auto& c : cases) {
        removeTree(layout.trace);
        const LaunchResult result = launch(L"", c.first);
        EXPECT_EQ(result.exitCode, 134u) << c.first;  // the stand-in machine's own exit code
        EXPECT_TRUE(result.boxes.empty());
        const auto lines = trace();
        EXPECT_TRUE(hasLine(lines, c.second)) << c.first;
        // The pending exception was described before the machine gave up.
        EXPECT_FALSE(linesWithPrefix(lines, "ExceptionDescribe").empty()) << c.first;
        EXPECT_TRUE(linesWithPrefix(lines, "main args").empty());
    }
    EXPECT_FALSE(exists(layout.logFile()));
}

TEST_F(FullLaunch, FailedCreationIsAFatalReport) {
    for (const char* mode : {"fail-create", "fail-create=-6"}) {
        removeTree(layout.trace);
        removeTree(layout.profile + "\\Logs");
        expectFatalReport(launch(L"", mode), layout, "Can't create Java VM ");
        EXPECT_TRUE(linesWithPrefix(trace(), "FindClass").empty());
    }
}

TEST_F(FullLaunch, ProcessLivesUntilTheApplicationsThreadEnds) {
    RunningKorvo running(layout.exe, heldLaunch("thread"));
    ASSERT_TRUE(running.waitForTraceLine(layout.trace, "DestroyJavaVM waiting for 1 thread(s)"));
    EXPECT_TRUE(running.stillRunningAfter(500));
    auto lines = trace();
    EXPECT_TRUE(hasLine(lines, "main returned"));
    EXPECT_TRUE(hasLine(lines, "DestroyJavaVM waiting for 1 thread(s)"));
    EXPECT_FALSE(hasLine(lines, "DestroyJavaVM returned"));
    writeFile(releaseFile(), "");
    EXPECT_EQ(running.wait().exitCode, 0u);
    EXPECT_TRUE(hasLine(trace(), "DestroyJavaVM returned"));
}

TEST_F(FullLaunch, LaunchTraceOnlyWhenSwitchedOnAndItsOptionsAreWhatTheMachineReceived) {
    Launch launch = standardLaunch(layout);
    for (const char* off : {"", "0"}) {
        launch.env["KORVO_TRACE"] = off;
        EXPECT_EQ(runKorvo(layout.exe, launch).exitCode, 0u);
        EXPECT_FALSE(exists(layout.launchTrace())) << "KORVO_TRACE=" << off;
    }
    removeTree(layout.trace);
    launch.env["KORVO_TRACE"] = "1";
    EXPECT_EQ(runKorvo(layout.exe, launch).exitCode, 0u);
    const std::vector<std::string> steps = launchTraceSteps(layout.launchTrace());
    std::vector<std::string> options;
    for (const std::string& step : linesWithPrefix(steps, "vm: option "))
        options.push_back(step.substr(step.find(": ", 11) + 2));
    EXPECT_EQ(options.size(), 7u);
    EXPECT_EQ(options, traceOptions(trace()));
    EXPECT_TRUE(hasLine(steps, "main returned")) << readFile(layout.launchTrace());
    EXPECT_EQ(steps.back(), "exit code 0");

    // A trace that cannot be written neither stops nor changes the launch: a Logs that is a file, a
    // trace file another program holds open without sharing (Wine, run as root here, would write a
    // read-only one all the same), a folder in the file's place.
    const std::string logs = layout.profile + "\\Logs";
    for (const std::string obstacle : {"Logs is a file", "held open", "folder"}) {
        removeTree(logs);
        HANDLE held = INVALID_HANDLE_VALUE;
        if (obstacle == "Logs is a file") {
            writeFile(logs, "");
        } else if (obstacle == "held open") {
            makeFolders(logs);
            held = CreateFileA(layout.launchTrace().c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        } else {
            makeFolders(layout.launchTrace());
        }
        removeTree(layout.trace);
        EXPECT_EQ(runKorvo(layout.exe, launch).exitCode, 0u) << obstacle;
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        EXPECT_EQ(traceOptions(trace()), options) << obstacle;
    }
}

TEST_F(FullLaunch, UnsetProfileLeavesTheWorkingDirectoryAlone) {
    Launch launch = standardLaunch(layout);
    launch.env.erase("USERPROFILE");
    launch.currentDir = layout.root;
    EXPECT_EQ(runKorvo(layout.exe, launch).exitCode, 0u);
    const auto lines = trace();
    EXPECT_TRUE(hasLine(lines, "cwd=" + layout.root));
    EXPECT_TRUE(hasLine(lines, "option[4]=-XX:ErrorFile=\\Logs\\Korvo.exe_error%p.log"));
}

TEST_F(FullLaunch, SecondStartWhileTheFirstRunsIsRefused) {
    Launch held = heldLaunch("block");
    held.env["KORVO_TRACE"] = "1";
    RunningKorvo running(layout.exe, held);
    ASSERT_TRUE(running.waitForTraceLine(layout.trace, "main args=0"));

    Launch traced = standardLaunch(layout);
    traced.env["KORVO_TRACE"] = "1";
    const LaunchResult second = runKorvo(layout.exe, traced);
    EXPECT_EQ(second.exitCode, 1u);
    EXPECT_TRUE(second.boxes.empty());
    EXPECT_EQ(linesWithPrefix(trace(), "create version").size(), 1u);
    // The silent refusal is in the launch trace, written before the refused start ends.
    const std::vector<std::string> steps = launchTraceSteps(layout.launchTrace());
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps[steps.size() - 2].rfind("guard: refused", 0), 0u) << readFile(layout.launchTrace());
    EXPECT_EQ(steps.back(), "exit code 1");
    EXPECT_TRUE(running.stillRunningAfter(200));
    // The first start keeps its trace open, and still its user can delete the file.
    EXPECT_TRUE(DeleteFileA(layout.launchTrace().c_str())) << "error " << GetLastError();

    writeFile(releaseFile(), "");
    EXPECT_EQ(running.wait().exitCode, 0u);
    const LaunchResult third = runKorvo(layout.exe, standardLaunch(layout));
    EXPECT_EQ(third.exitCode, 0u);
    EXPECT_EQ(linesWithPrefix(trace(), "create version").size(), 2u);
}

// The guard frees the name 30 seconds after a start, while that first instance still runs.
TEST_F(FullLaunch, StartMoreThanThirtySecondsAfterAFirstStillRunningGoesAhead) {
    Launch held = heldLaunch("block");
    held.timeoutMs = 90000;  // it must outlive the guard period, and then end on its own
    RunningKorvo first(layout.exe, held);
    ASSERT_TRUE(first.waitForTraceLine(layout.trace, "main args=0"));
    const DWORD started = GetTickCount();
    ASSERT_TRUE(first.stillRunningAfter(31000));
    ASSERT_GE(GetTickCount() - started, 31000u);

    const LaunchResult second = runKorvo(layout.exe, standardLaunch(layout));
    EXPECT_EQ(second.exitCode, 0u);
    EXPECT_TRUE(second.boxes.empty());
    EXPECT_EQ(linesWithPrefix(trace(), "create version").size(), 2u);
    EXPECT_TRUE(first.stillRunningAfter(0));
    writeFile(releaseFile(), "");
    EXPECT_EQ(first.wait().exitCode, 0u);
}

// What the application loads itself: a native library found on java.library.path (in the
// QuickTime folder, its last entry, and in the working directory, its first) loads by full path
// and brings in its own dependency from a folder on PATH.
TEST_F(FullLaunch, NativeLibrariesFromTheLibraryPathFindTheirDependenciesOnPath) {
    const std::string quickTime = layout.root + "\\QuickTime\\QTSystem\\";
    const std::string dependencies = layout.root + "\\QTDeps";
    makeFolders(quickTime);
    makeFolders(dependencies);
    copyFile(standinDir() + "\\korvojni.dll", quickTime + "korvojni.dll");
    copyFile(standinDir() + "\\korvojni.dll", layout.profile + "\\cwdjni.dll");
    copyFile(standinDir() + "\\korvodep.dll", dependencies + "\\korvodep.dll");
    registry.setString(Registry::kQuickTimeKey, "QTExtDir", quickTime);

    Launch launch = standardLaunch(layout);
    launch.env["PATH"] += ";" + dependencies;
    launch.env["KORVO_STANDIN_MODE"] = "native=korvojni.dll+cwdjni.dll";
    EXPECT_EQ(runKorvo(layout.exe, launch).exitCode, 0u);
    const auto lines = trace();
    EXPECT_TRUE(hasLine(lines, "native korvojni.dll -> loaded " + quickTime + "korvojni.dll"));
    EXPECT_TRUE(hasLine(lines, "native cwdjni.dll -> loaded " + layout.profile + "\\cwdjni.dll"));
    EXPECT_EQ(linesWithPrefix(lines, "jnidep attach "),
              std::vector<std::string>{"jnidep attach " + dependencies + "\\korvodep.dll"});
    EXPECT_TRUE(hasLine(lines, "main returned"));
}
