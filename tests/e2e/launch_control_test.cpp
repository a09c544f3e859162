// Launch control seen from outside: the single-instance guard, fatal reports (log record,
// box, exit code) and the application folder.
#include <gtest/gtest.h>

#include "support/harness.h"

using namespace harness;

namespace {

bool looksLikeTimeStamp(const std::string& stamp) {
    if (stamp.size() != 24) return false;
    for (size_t i : {3u, 7u, 10u, 19u})
        if (stamp[i] != ' ') return false;
    return stamp[13] == ':' && stamp[16] == ':' && isdigit(static_cast<unsigned char>(stamp[8])) &&
           isdigit(static_cast<unsigned char>(stamp[9]));
}

}  // namespace

TEST(InstanceGuard, StartWhileNameIsHeldEndsAtOnceSilently) {
    Registry registry;  // no runtime anywhere: a launch that runs ends in a fatal report
    const Layout layout = makeLayout("guard");
    HANDLE holder = CreateMutexA(nullptr, FALSE, "Korvo.jar");
    ASSERT_NE(holder, nullptr);

    const LaunchResult refused = runKorvo(layout.exe, standardLaunch(layout));
    EXPECT_EQ(refused.exitCode, 1u);
    EXPECT_FALSE(refused.timedOut);
    EXPECT_TRUE(refused.boxes.empty());
    EXPECT_FALSE(exists(layout.profile + "\\Logs"));
    EXPECT_FALSE(exists(layout.policyFile()));

    CloseHandle(holder);
    const LaunchResult ran = runKorvo(layout.exe, standardLaunch(layout));
    EXPECT_EQ(ran.exitCode, 1u);
    ASSERT_EQ(ran.boxes.size(), 1u) << "the launch after the holder closed did not run";
    EXPECT_TRUE(exists(layout.logFile()));
}

TEST(FatalReport, LeavesOneRecordShowsTheBoxAndExitsOne) {
    Registry registry;
    const Layout layout = makeLayout("fatal");
    ASSERT_FALSE(exists(layout.profile + "\\Logs"));

    const LaunchResult result = runKorvo(layout.exe, standardLaunch(layout));
    EXPECT_EQ(result.exitCode, 1u);
    ASSERT_EQ(result.boxes.size(), 1u);
    EXPECT_EQ(result.boxes[0].caption, "Korvo.exe");
    EXPECT_EQ(result.boxes[0].text, "Fatal Error Launching: Can't locate JRE[Java Runtime Environment]");

    const std::string bytes = readFile(layout.logFile());
    std::vector<LogRecord> records;
    ASSERT_TRUE(parseSessionLog(bytes, records)) << bytes;
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].text, "Fatal Error Launching: Can't locate JRE[Java Runtime Environment]");
    EXPECT_TRUE(looksLikeTimeStamp(records[0].stamp)) << records[0].stamp;
    EXPECT_EQ(bytes.size(), records[0].text.size() + 74);
}

TEST(FatalReport, WithoutAProfileStillShowsTheBoxAndExitsOne) {
    Registry registry;
    const Layout layout = makeLayout("fatal-noprofile");
    for (const char* profile : {"", "unset", "long"}) {
        Launch launch = standardLaunch(layout);
        if (std::string(profile) == "unset")
            launch.env.erase("USERPROFILE");
        else if (std::string(profile) == "long")
            launch.env["USERPROFILE"] = "C:\\" + std::string(1100, 'u');
        else
            launch.env["USERPROFILE"] = "";
        launch.currentDir = layout.root;
        const LaunchResult result = runKorvo(layout.exe, launch);
        EXPECT_EQ(result.exitCode, 1u) << profile;
        ASSERT_EQ(result.boxes.size(), 1u) << profile;
        EXPECT_EQ(result.boxes[0].caption, "Korvo.exe");
    }
    EXPECT_FALSE(exists("C:\\Logs"));
    EXPECT_FALSE(exists(layout.root + "\\Logs"));
}

TEST(AppDir, ExecutableAtADriveRootGivesTheDriveAlone) {
    Registry registry;
    const Layout layout = makeLayout("driveroot");
    ASSERT_TRUE(isFolder("K:\\")) << "the test script maps drive K: to a scratch folder";
    for (const std::string& name : listFolder("K:")) removeTree("K:\\" + name);
    copyFile(korvoExe(), "K:\\Korvo.exe");
    installMainJar("K:");
    installPrivateRuntime(layout.root + "\\Java");
    registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Java");

    const LaunchResult result = runKorvo("K:\\Korvo.exe", standardLaunch(layout));
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.boxes.empty());
    const std::vector<std::string> options = traceOptions(traceLines(layout.trace));
    ASSERT_EQ(options.size(), 7u);
    EXPECT_EQ(options[0].rfind("-Djava.class.path=K:\\Korvo.jar;", 0), 0u) << options[0];
    EXPECT_EQ(options[1].rfind("-Djava.library.path=.;K:\\lib;", 0), 0u) << options[1];
    EXPECT_NE(readFile(layout.policyFile()).find("grant codeBase \"file:/K:/-\" {\r\n"), std::string::npos);
    for (const std::string& name : listFolder("K:")) removeTree("K:\\" + name);
}
