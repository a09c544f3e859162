// The user-visible outcome of a fatal report: exit code 1, one box captioned "Korvo.exe" with the
// composed text, and exactly one session-log record holding the same text.
#pragma once

#include <gtest/gtest.h>

#include "support/harness.h"

namespace harness {

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
