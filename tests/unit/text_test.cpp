// The text the launch builds: code bases, search path, QuickTime folder, policy file, options.
#include <gtest/gtest.h>

#include "base/trace.h"
#include "base/wide_path.h"
#include "config/class_path.h"
#include "config/host_env.h"
#include "config/path_text.h"
#include "config/policy.h"
#include "runtime/locate.h"
#include "support/harness.h"
#include "vm/create.h"

using harness::kWorkedExamplePolicy;

namespace {

std::string escaped(std::string text) {
    escapeCodeBase(text);
    return text;
}

}  // namespace

TEST(CodeBase, BackslashesBecomeSlashesBlanksPercentAndNumberSignsAreEscaped) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Program Files\\Korvo\\", "C:/Program%20Files/Korvo/"},
        {"C:\\Documents and Settings\\user1\\Local Settings\\Temp\\Korvo.exe.policy",
         "C:/Documents%20and%20Settings/user1/Local%20Settings/Temp/Korvo.exe.policy"},
        {"a  b", "a%20%20b"},
        {"D:\\100%\\", "D:/100%25/"},
        {"C:\\Apps\\My#App\\", "C:/Apps/My%23App/"},
        {"%20#%", "%2520%23%25"},
        {"\\\\server\\share\\", "//server/share/"},
        {"", ""},
        {" edge ", "%20edge%20"},
        {"plain;\"!'[]{}&+=@~$^\xE9", "plain;\"!'[]{}&+=@~$^\xE9"},
    };
    for (const auto& c : cases) EXPECT_EQ(escaped(c.first), c.second) << c.first;
}

TEST(SearchPath, TrailingBackslashesGoAndQuotesBecomeBlanks) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\WINDOWS\\system32;C:\\bin\\", "C:\\WINDOWS\\system32;C:\\bin"},
        {"C:\\bin\\;C:\\tools\\\\", "C:\\bin\\;C:\\tools"},
        {"\\\\\\", ""},
        {"\"C:\\Program Files\\Tool\";C:\\bin", " C:\\Program Files\\Tool ;C:\\bin"},
        {"C:\\a\\\"", "C:\\a\\ "},
        {"C:\\WINDOWS;C:\\", "C:\\WINDOWS;C:"},
        {"C:\\x;; ", "C:\\x;; "},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(cleanSearchPath(c.first), c.second) << c.first;
    EXPECT_EQ(cleanSearchPath(nullptr), "");
}

TEST(QuickTime, FallbackFolderEndsInABackslash) {
    EXPECT_EQ(quickTimeFallbackDir("C:\\Program Files"), "C:\\Program Files\\QuickTime\\QTSystem\\");
    EXPECT_EQ(quickTimeFallbackDir(""), "\\QuickTime\\QTSystem\\");
    EXPECT_EQ(quickTimeFallbackDir(nullptr), "\\QuickTime\\QTSystem\\");
}

TEST(PolicyFile, WorkedExampleIsExactly296Bytes) {
    const std::string text =
        policyFileText("C:/Program%20Files/Korvo/", "C:/Program%20Files/QuickTime/QTSystem/");
    EXPECT_EQ(text.size(), 296u);
    EXPECT_EQ(text, kWorkedExamplePolicy);
    // The fixed pieces alone.
    EXPECT_EQ(policyFileText("", "").size(), 233u);
    // A folder without its trailing separator gets no slash inserted; the code base is written as given.
    const std::string odd = policyFileText("C:/", "D:/QT");
    EXPECT_NE(odd.find("grant codeBase \"file:/C:/-\" {\r\n"), std::string::npos);
    EXPECT_NE(odd.find("grant codeBase \"file:/D:/QT-\" {\r\n"), std::string::npos);
    EXPECT_NE(policyFileText("C:/100%25/", "").find("file:/C:/100%25/-"), std::string::npos);
    EXPECT_NE(policyFileText("//srv/share/Korvo/", "").find("grant codeBase \"file:////srv/share/Korvo/-\" {"),
              std::string::npos);
}

TEST(PolicyFile, OptionNamesTheEscapedFile) {
    const std::pair<const wchar_t*, const char*> cases[] = {
        {L"C:\\DOCUME~1\\user1\\LOCALS~1\\Temp",
         "-Djava.security.policy=file:/C:/DOCUME~1/user1/LOCALS~1/Temp/Korvo.exe.policy"},
        {L"C:\\Documents and Settings\\user1\\Local Settings\\Temp",
         "-Djava.security.policy=file:/C:/Documents%20and%20Settings/user1/Local%20Settings/Temp/"
         "Korvo.exe.policy"},
        {L"C:\\Temp\\", "-Djava.security.policy=file:/C:/Temp//Korvo.exe.policy"},
        // A share keeps its server: four slashes, as a Windows JDK writes such a URL.
        {L"\\\\srv\\share\\Temp", "-Djava.security.policy=file:////srv/share/Temp/Korvo.exe.policy"},
        // Outside code page 1252, with no short form (the folder does not exist): UTF-8 escapes.
        {L"C:\\Users\\\u0141ukasz \u738b\\Temp",
         "-Djava.security.policy=file:/C:/Users/%C5%81ukasz%20%E7%8E%8B/Temp/Korvo.exe.policy"},
        {L"C:\\Users\\\xD83D\xDE00\\Temp", "-Djava.security.policy=file:/C:/Users/%F0%9F%98%80/Temp/Korvo.exe.policy"},
        // A lone surrogate has no UTF-8 form: "?" names nothing.
        {L"C:\\Users\\a\xD83D\\Temp", "-Djava.security.policy=file:/C:/Users/a%3F/Temp/Korvo.exe.policy"},
        // The wide file functions' long-path prefix is no part of the URL.
        {L"\\\\?\\C:\\Temp", "-Djava.security.policy=file:/C:/Temp/Korvo.exe.policy"},
        {L"\\\\?\\UNC\\srv\\share\\Temp", "-Djava.security.policy=file:////srv/share/Temp/Korvo.exe.policy"},
        {L"\\\\?\\C:\\\u0141", "-Djava.security.policy=file:/C:/%C5%81/Korvo.exe.policy"},
    };
    for (const auto& c : cases) EXPECT_EQ(securityPolicyOptionText(fileUrlPath(policyFilePath(c.first))), c.second);
}

// Paths that do not exist have no short form (code page 1252 here): the exact text, else nothing
// that names a folder, never a best-fit look-alike.
TEST(AnsiPath, ExactTextOrTextThatNamesNothing) {
    const struct {
        const wchar_t* path;
        const char* text;
        bool exact;
    } cases[] = {
        {L"C:\\nowhere\\Caf\u00e9", "C:\\nowhere\\Caf\xe9", true},
        {L"C:\\nowhere\\\u0141ukasz", "C:\\nowhere\\?ukasz", false},
        {L"C:\\nowhere\\\xD83D\xDE00", "C:\\nowhere\\??", false},
        {L"\\\\?\\C:\\Apps\\Korvo", "C:\\Apps\\Korvo", true},
        {L"\\\\?\\unc\\srv\\share", "\\\\srv\\share", true},
        {L"\\\\?\\C:\\nowhere\\\u0141", "C:\\nowhere\\?", false},
        // A volume's name has no drive-letter form; cut, it would read as a relative path.
        {L"\\\\?\\Volume{0}\\Korvo", "\\\\?\\Volume{0}\\Korvo", true},
    };
    for (const auto& c : cases) {
        std::string exact = "untouched";
        EXPECT_EQ(ansiPath(c.path, exact), c.exact) << c.text;
        EXPECT_EQ(exact, c.exact ? c.text : "untouched");
        EXPECT_EQ(ansiPathOrNothing(c.path), c.text);
    }
}

TEST(PathOptions, LibraryPathHasItsPiecesInOrderWithoutQuotes) {
    EXPECT_EQ(libraryPathOptionText("C:\\Apps\\Korvo", "C:\\Windows;C:\\Tools",
                                    "C:\\Program Files\\QuickTime\\QTSystem\\"),
              "-Djava.library.path=.;C:\\Apps\\Korvo\\lib;C:\\Windows;C:\\Tools;"
              "C:\\Program Files\\QuickTime\\QTSystem\\");
    EXPECT_EQ(libraryPathOptionText("C:", "", "D:\\QT"), "-Djava.library.path=.;C:\\lib;;D:\\QT");
}

TEST(PathOptions, ClassPathStartsWithJarQuickTimeArchiveAndJavaHome) {
    EXPECT_EQ(classPathHeadText("C:\\Apps\\Korvo", "C:\\Program Files\\QuickTime\\QTSystem\\",
                                "C:\\Program Files\\Java\\jre1.6.0_02"),
              "-Djava.class.path=C:\\Apps\\Korvo\\Korvo.jar;"
              "C:\\Program Files\\QuickTime\\QTSystem\\QTJava.zip;"
              "C:\\Program Files\\Java\\jre1.6.0_02;");
    EXPECT_EQ(classPathHeadText("C:", "D:\\QT", ""), "-Djava.class.path=C:\\Korvo.jar;D:\\QTQTJava.zip;;");
}

TEST(PathOptions, ArchivesAreMatchedCaseSensitivelyAnywhereInThePath) {
    EXPECT_TRUE(looksLikeArchive("C:\\lib\\a.jar"));
    EXPECT_TRUE(looksLikeArchive("C:\\lib\\b.zip"));
    EXPECT_TRUE(looksLikeArchive("C:\\lib\\x.jar.bak"));
    EXPECT_TRUE(looksLikeArchive("C:\\lib\\notes.zipped"));
    EXPECT_TRUE(looksLikeArchive("C:\\tools.zip\\lib\\readme.txt"));
    EXPECT_FALSE(looksLikeArchive("C:\\lib\\NAME.JAR"));
    EXPECT_FALSE(looksLikeArchive("C:\\lib\\readme.txt"));
    EXPECT_FALSE(looksLikeArchive("C:\\lib\\jar"));
}

// Registry version subkeys as installers name them, each before the next.
TEST(JavaVersion, SubkeysAreOrderedByTheirNumbers) {
    const char* const v[] = {"1.8", "8.0.302.8", "1.8.0_392", "8.0.402.6", "11.0.9", "11.0.21", "17", "17.0.15.6", "21"};
    for (size_t i = 0; i + 1 < sizeof v / sizeof v[0]; ++i)
        EXPECT_TRUE(javaVersionBefore(v[i], v[i + 1]) && !javaVersionBefore(v[i + 1], v[i])) << v[i];
}

TEST(VmOptions, ErrorFileGoesToTheProfilesLogsFolder) {
    EXPECT_EQ(errorFileOptionText("C:\\Users\\user1"),
              "-XX:ErrorFile=C:\\Users\\user1\\Logs\\Korvo.exe_error%p.log");
    EXPECT_EQ(errorFileOptionText(nullptr), "-XX:ErrorFile=\\Logs\\Korvo.exe_error%p.log");
}

// Worked out by hand: ticks / frequency seconds, in milliseconds cut to two decimals.
TEST(TraceText, PhaseDurationIsExactForAnySpanAndCounterFrequency) {
    const struct {
        unsigned long long ticks, frequency;
        const char* text;
    } cases[] = {
        {124600, 10000000, "12.46"},                   // 10 MHz, current Windows
        {1000, 3579545, "0.27"},                       // 0.2793... ms on the ACPI timer
        {1, 2500000000ull, "0.00"},                    // a CPU clock of 2.5 GHz, older Windows
        {3750000000ull, 2500000000ull, "1500.00"},
        {648000000000000ull, 2500000000ull, "259200000.00"},  // three days at 2.5 GHz
        {18446744073709551615ull, 10000000, "1844674407370955.16"},
        {13835058055282163712ull, 9223372036854775808ull, "1500.00"},  // 1.5 s at 2^63 Hz
        {9223372036854775807ull, 9223372036854775808ull, "999.99"},
        {5, 0, "0.00"},                                // no counter
    };
    for (const auto& c : cases) EXPECT_EQ(durationText(c.ticks, c.frequency), c.text) << c.ticks << " / " << c.frequency;
}
