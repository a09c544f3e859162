// GoogleTest pieces shared by the tests that launch Korvo.exe: a fresh installation per test,
// and the user-visible outcome of a fatal report.
#pragma once

#include <gtest/gtest.h>

#include "support/harness.h"

namespace harness {

inline std::string testName() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

// A scratch installation named after the test (Korvo.exe and Korvo.jar in place), with the
// registry keys the launcher reads cleared before and after.
class InstalledApp : public ::testing::Test {
protected:
    Registry registry;
    Layout layout;

    void SetUp() override { install("Apps\\Korvo"); }

    void install(const std::string& appSubdir) {
        layout = makeLayout(testName(), appSubdir);
        installMainJar(layout.appDir);
    }

    // A complete private runtime in root\Maker, named by the maker's registry value.
    void installMakersRuntime() {
        installPrivateRuntime(layout.root + "\\Maker");
        registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Maker");
    }

    std::vector<std::string> trace() const { return traceLines(layout.trace); }
};

// Exit code 1, one box captioned "Korvo.exe" with the composed text, and exactly one
// session-log record holding the same text.
inline void expectFatalReport(const LaunchResult& result, const Layout& layout, const std::string& message) {
    const std::string text = "Fatal Error Launching: " + message;
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_FALSE(result.timedOut);
    ASSERT_EQ(result.boxes.size(), 1u);
    EXPECT_EQ(result.boxes[0].caption, "Korvo.exe");
    EXPECT_EQ(result.boxes[0].text, text);
    std::vector<LogRecord> records;
    ASSERT_TRUE(parseSessionLog(readFile(layout.logFile()), records));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].text, text);
}

}  // namespace harness
