// The configuration phase of a launch, seen through real launches of Korvo.exe (the options the
// stand-in runtime records) and through the scan run in this process against real folders:
// the policy file and its option, the search path and QuickTime folder on the library path,
// and the class path the archive scan builds.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "base/launch_context.h"
#include "config/class_path.h"
#include "support/launch_fixture.h"

using namespace harness;

namespace {

const char kPolicyName[] = "Korvo.exe.policy";
const char kPolicyOption[] = "-Djava.security.policy=file:/";



// Puts a variable of this process back as it was when the scope ends.
class SavedVariable {
public:
    explicit SavedVariable(const char* name) : name_(name) {
        char value[32768];
        const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
        set_ = length > 0 && length < sizeof value;
        if (set_) value_.assign(value, length);
    }
    ~SavedVariable() { setProcessEnv(name_, set_ ? value_.c_str() : nullptr); }
    SavedVariable(const SavedVariable&) = delete;
    SavedVariable& operator=(const SavedVariable&) = delete;

private:
    const char* name_;
    bool set_ = false;
    std::string value_;
};

// An installation under C:\kt\<test> with a private runtime that the maker's key names, so every
// launch reaches the creation of the machine and the trace records its seven options.
class ConfigLaunch : public InstalledApp {
protected:
    void SetUp() override { prepare("Apps\\Korvo"); }

    void prepare(const std::string& appSubdir) {
        install(appSubdir);
        installMakersRuntime();
    }

    std::string runtimeHome() const { return layout.root + "\\Maker\\jre1.6.0_02"; }
    // Under WOW64, the ProgramFiles of a 32-bit process.
    std::string quickTimeFallback() const {
        return (underWow64() ? "C:\\Program Files (x86)" : layout.programFiles) + "\\QuickTime\\QTSystem\\";
    }

    // Launches exe (the layout's by default) and returns the seven options the machine received.
    std::vector<std::string> launchOptions(const Launch& launch, const std::string& exe = "") {
        removeTree(layout.trace);
        const LaunchResult result = runKorvo(exe.empty() ? layout.exe : exe, launch);
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_FALSE(result.timedOut);
        EXPECT_TRUE(result.boxes.empty()) << result.boxes[0].text;
        std::vector<std::string> options = traceOptions(traceLines(layout.trace));
        if (options.size() != 7) {
            ADD_FAILURE() << "expected 7 options, trace:\n" << readFile(layout.trace);
            options.resize(7);
        }
        return options;
    }

    std::string libraryPath(const std::string& searchPath, const std::string& quickTimeDir) const {
        return "-Djava.library.path=.;" + layout.appDir + "\\lib;" + searchPath + ";" + quickTimeDir;
    }
};

// The application installed in C:\Program Files\Korvo, as in the worked example.
class ProgramFilesInstall : public ConfigLaunch {
protected:
    const std::string appDir = "C:\\Program Files\\Korvo";
    const std::string exe = appDir + "\\Korvo.exe";

    void SetUp() override {
        ConfigLaunch::SetUp();
        removeTree(appDir);
        makeFolders(appDir);
        copyFile(korvoExe(), exe);
        installMainJar(appDir);
        registry.setString(Registry::kQuickTimeKey, "QTExtDir", "C:\\Program Files\\QuickTime\\QTSystem\\");
    }

    void TearDown() override { removeTree(appDir); }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Policy file and option

TEST_F(ProgramFilesInstall, WorkedExampleIsWrittenByteForByteOverWhateverWasThere) {
    const std::string policy = layout.policyFile();
    const std::pair<const char*, std::string> before[] = {
        {"no file", ""},
        {"longer file", std::string(4096, 'x')},
        {"grant-all file", "grant {\r\n\tpermission java.security.AllPermission;\r\n};\r\n"},
    };
    for (const auto& state : before) {
        SCOPED_TRACE(state.first);
        removeTree(policy);
        if (!state.second.empty()) writeFile(policy, state.second);
        const std::vector<std::string> options = launchOptions(standardLaunch(layout), exe);
        const std::string written = readFile(policy);
        EXPECT_EQ(written.size(), 296u);
        EXPECT_EQ(written, kWorkedExamplePolicy);
        EXPECT_EQ(options[2], "-Djava.security.manager");
        EXPECT_EQ(options[3], kPolicyOption + asUrlPath(layout.temp) + "/" + kPolicyName);
    }
}

// Leaves its file in C:\kt\policy-check for the host-side check with the Java runtime's own
// policy parser (CTest test policy_check).
TEST_F(ProgramFilesInstall, WritesThePolicyTheJavaCheckReads) {
    const std::string folder = "C:\\kt\\policy-check";
    removeTree(folder);
    makeFolders(folder);
    Launch launch = standardLaunch(layout);
    launch.env["TEMP"] = folder;
    const std::vector<std::string> options = launchOptions(launch, exe);
    EXPECT_EQ(readFile(folder + "\\" + kPolicyName), kWorkedExamplePolicy);
    EXPECT_EQ(options[3], "-Djava.security.policy=file:/C:/kt/policy-check/Korvo.exe.policy");
}

namespace {

// Text in a code page and back: the bytes a launch of that code page hands on.
std::string inCodePage(const std::string& utf8, UINT codePage) {
    const std::wstring wide = utf8ToWide(utf8);
    if (wide.empty()) return std::string();
    BOOL lossy = FALSE;
    const int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, &lossy);
    std::string bytes(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), &bytes[0],
                            size, nullptr, &lossy);
    if (size <= 0 || lossy) ADD_FAILURE() << utf8 << " is not representable in code page " << codePage;
    return bytes;
}

std::string fromCodePage(const std::string& bytes, UINT codePage) {
    if (bytes.empty()) return std::string();
    const int size = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(size > 0 ? size : 0, L'\0');
    if (size > 0) MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &wide[0], size);
    return wideToUtf8(wide);
}

// Launches whose policies the JDK's own parser reads on the host (CTest policy_names_check and
// policy_dbcs_check): each launch leaves its file in a folder of its own under C:\kt\policy-names,
// and a list, in UTF-8, of the option's URL and of files the policy must and must not grant.
class PolicyNames : public ConfigLaunch {
protected:
    const std::string folder = "C:\\kt\\policy-names";
    std::string checks;

    // One launch: application folder root\Apps\<app>, QuickTime folder root\<quickTime>\ from the
    // key, TEMP folder\<row>\<temp>; each name with its sibling that shares its start.
    std::vector<std::string> launchAndList(const std::string& row, const std::string& app, const std::string& appSibling,
                                           const std::string& quickTime, const std::string& quickTimeSibling,
                                           const std::string& temp, UINT codePage, Launch launch,
                                           bool runtimeBesideTheAppsFolder = false) {
        prepare("Apps\\" + app);
        if (runtimeBesideTheAppsFolder) {
            // The maker's folder is missing, so the runtime comes from the fallback root\Apps\Java.
            installPrivateRuntime(layout.root + "\\Apps\\Java");
            registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\absent");
        }
        const std::string quickTimeDir = layout.root + "\\" + quickTime + "\\";
        // RegSetValueExA reads its text in this process's own code page.
        registry.setString(Registry::kQuickTimeKey, "QTExtDir", inCodePage(quickTimeDir, CP_ACP));
        const std::string tempDir = folder + "\\" + row + "\\" + temp;
        makeFolders(tempDir);
        launch.env["TEMP"] = tempDir;
        const std::vector<std::string> options = launchOptions(launch);
        EXPECT_TRUE(exists(tempDir + "\\" + kPolicyName)) << row;
        const std::string option = fromCodePage(options[3], codePage);
        const std::string name = "-Djava.security.policy=";
        EXPECT_EQ(option.compare(0, name.size(), name), 0) << option;
        checks += "policy " + option.substr(name.size()) + "\n";
        checks += "granted " + layout.appDir + "\\Korvo.jar\n";
        checks += "granted " + layout.appDir + "\\lib\\sub\\b.zip\n";
        checks += "denied " + layout.root + "\\Apps\\" + appSibling + "\\Korvo.jar\n";
        checks += "granted " + quickTimeDir + "QTJava.zip\n";
        checks += "denied " + layout.root + "\\" + quickTimeSibling + "\\QTJava.zip\n";
        return options;
    }
};

}  // namespace

// Folder names with every character a Windows folder name may hold that means something in a URL.
TEST_F(PolicyNames, EveryFolderNameIsGranted) {
    removeTree(folder + "\\checks.txt");
    // Application folder My<c>App, QuickTime folder QT<c>Dir and TEMP T<c><c>mp for two characters.
    const char* const pairs[][2] = {
        {" ", "%"}, {"#", ";"}, {"!", "'"}, {"[", "]"}, {"{", "}"},
        {"&", "+"}, {"=", "@"}, {"~", "$"}, {"^", "\xc3\xa9"},
    };
    int row = 0;
    for (const auto& pair : pairs) {
        const std::string a = pair[0], q = pair[1];
        SCOPED_TRACE("application folder My" + a + "App, QuickTime folder QT" + q + "Dir");
        const std::string rowName = "row" + std::to_string(++row);
        removeTree(folder + "\\" + rowName);
        launchAndList(rowName, "My" + a + "App", "My", "QT" + q + "Dir", "QT", "T" + a + q + "mp",
                      CP_ACP, standardLaunch(layout));
    }
    writeFile(folder + "\\checks.txt", checks);
}

// In a double-byte code page the second byte of a character may be a backslash: both of
// \u30bd\u8868's are 0x5C in code page 932. The application folder of that name still gives main,
// the class path, the fallback runtime beside it and the policy's grant. Wine takes a process's
// code page from its Unix locale, which its children keep: CTest config_policy_dbcs runs this
// with LANG=ja_JP.UTF-8.
TEST_F(PolicyNames, DoubleByteFolderNameInCodePage932) {
    removeTree(folder + "\\checks-932.txt");
    removeTree(folder + "\\dbcs");
    if (GetACP() != 932) GTEST_SKIP() << "needs the ANSI code page 932 (LANG=ja_JP.UTF-8 under Wine)";
    const std::string name = "\xe3\x82\xbd\xe8\xa1\xa8";
    ASSERT_EQ(inCodePage(name, 932), "\x83\x5c\x95\x5c");
    // A last PATH entry ending in such a character keeps its second byte.
    Launch launch = standardLaunch(layout);
    launch.env["PATH"] = "C:\\Tools\\\xe8\xa1\xa8";
    const std::vector<std::string> options = launchAndList("dbcs", name, "", "QT", "Q", "Temp", 932, launch, true);
    EXPECT_TRUE(hasLine(trace(), "main returned"));
    const std::string appDir = inCodePage(layout.appDir, 932);
    EXPECT_EQ(options[1], "-Djava.library.path=.;" + appDir + "\\lib;C:\\Tools\\\x95\x5c;" + layout.root + "\\QT\\");
    EXPECT_EQ(options[0], "-Djava.class.path=" + appDir + "\\Korvo.jar;" + layout.root + "\\QT\\QTJava.zip;" +
                              layout.root + "\\Apps\\Java\\jre1.6.0_02;");
    EXPECT_NE(readFile(folder + "\\dbcs\\Temp\\" + kPolicyName)
                  .find("grant codeBase \"file:/C:/kt/DoubleByteFolderNameInCodePage932/Apps/\x83\x5c\x95\x5c/-\" {"),
              std::string::npos);
    writeFile(folder + "\\checks-932.txt", checks);
}

std::wstring urlToPath(const std::string& ansiUrl);

// Windows' UTF-8 option makes the ANSI code page 65001 while Java 8 and 17.0.4, among others, read
// options in the system locale's legacy code page: each kind of runtime holds the true folders.
// CTest config_utf8 runs this with LC_ALL=hi_IN.UTF-8, which gives that code page under Wine.
TEST_F(ConfigLaunch, Utf8CodePageGivesEveryRuntimeTheTrueFolders) {
    if (GetACP() != CP_UTF8) GTEST_SKIP() << "needs the ANSI code page 65001 (LC_ALL=hi_IN.UTF-8 under Wine)";
    prepare("Apps\\Caf\xc3\xa9");
    const std::string profile = layout.root + "\\Users\\Jos\xc3\xa9 \xc5\x81ukasz \xe7\x8e\x8b";
    makeFolders(profile + "\\Temp");
    Launch launch = standardLaunch(layout);
    launch.env["USERPROFILE"] = profile;
    launch.env["TEMP"] = profile + "\\Temp";
    const char* const rows[][2] = {{"8", "0409"}, {"17.0.5", "0409"}, {"8", ""}};  // 1252, ACP, hi-IN's UTF-8
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string("Java ") + row[0] + ", system locale " + row[1]);
        launch.env["KORVO_STANDIN_JAVA"] = row[0];
        launch.env["KORVO_STANDIN_SYSTEM_LOCALE"] = row[1];
        launchOptions(launch);
        // What the runtime holds: "-Djava.security.policy=file:/" and "-XX:ErrorFile=" cut off.
        const std::vector<std::string> held = traceDecodedOptions(trace());
        EXPECT_EQ(longPath(urlToPath(held.at(3).substr(29))), profile + "\\Temp\\" + kPolicyName) << held[3];
        EXPECT_EQ(longPath(utf8ToWide(held.at(4).substr(14, held[4].rfind("\\Logs\\") - 14))), profile) << held[4];
    }
}

TEST_F(ConfigLaunch, ReadOnlyPolicyFileIsLeftAsItWasAndStillNamed) {
    const std::string policy = layout.policyFile();
    const std::string old = "// an administrator's own policy\r\ngrant {\r\n};\r\n";
    writeFile(policy, old);
    ASSERT_TRUE(SetFileAttributesW(utf8ToWide(policy).c_str(), FILE_ATTRIBUTE_READONLY));
    const DWORD attributes = GetFileAttributesW(utf8ToWide(policy).c_str());
    ASSERT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY));

    const std::vector<std::string> options = launchOptions(standardLaunch(layout));
    EXPECT_EQ(readFile(policy), old);
    EXPECT_EQ(GetFileAttributesW(utf8ToWide(policy).c_str()), attributes);
    EXPECT_EQ(options[3], kPolicyOption + asUrlPath(layout.temp) + "/" + kPolicyName);
    removeTree(policy);
}

TEST_F(ConfigLaunch, FolderInThePolicyFilesPlaceGetsNothingAndIsStillNamed) {
    const std::string policy = layout.policyFile();
    for (const bool withContent : {false, true}) {
        SCOPED_TRACE(withContent ? "folder with a file" : "empty folder");
        removeTree(policy);
        makeFolders(policy);
        if (withContent) writeFile(policy + "\\kept.txt", "kept");

        const std::vector<std::string> options = launchOptions(standardLaunch(layout));
        EXPECT_TRUE(isFolder(policy));
        const std::vector<std::string> expected =
            withContent ? std::vector<std::string>{"kept.txt"} : std::vector<std::string>{};
        EXPECT_EQ(listFolder(policy), expected);
        EXPECT_EQ(options[3], kPolicyOption + asUrlPath(layout.temp) + "/" + kPolicyName);
    }
}

// TEMP as given when it is usable, else the system's temporary folder (GetTempPathA: TMP, then
// TEMP, then the profile); the option always names the file in URL form.
TEST_F(ConfigLaunch, PolicyFollowsTheTemporaryFolder) {
    const std::string systemTemp = layout.root + "\\SysTemp";
    const std::string spaced = layout.root + "\\Local Settings\\My Temp";
    makeFolders(systemTemp);
    makeFolders(spaced);
    const std::string inTemp = layout.policyFile();
    const std::string inSpaced = spaced + "\\" + kPolicyName;
    const std::string inSystemTemp = systemTemp + "\\" + kPolicyName;
    const std::string inProfile = layout.profile + "\\" + kPolicyName;
    std::string temp259 = layout.root + "\\";
    temp259.append(259 - temp259.size(), 'L');
    const std::string temp242 = temp259.substr(0, 242);
    const std::string temp243 = temp259.substr(0, 243);
    makeFolders(temp242);
    std::string temp260 = layout.root + "\\";
    temp260.append(260 - temp260.size(), 'L');
    const std::string temp300 = "C:\\" + std::string(297, 'L');

    struct Case {
        const char* what;
        bool hasTemp;
        std::string temp;
        bool hasTmp;
        std::string optionPath;  // the file the option names, unescaped
        std::string file;        // where the file lands; empty: nowhere
    };
    const Case cases[] = {
        {"plain", true, layout.temp, true, inTemp, inTemp},
        {"trailing backslash", true, layout.temp + "\\", true, layout.temp + "\\\\" + kPolicyName, inTemp},
        {"blanks", true, spaced, true, inSpaced, inSpaced},
        {"unset", false, "", true, inSystemTemp, inSystemTemp},
        {"empty", true, "", true, inSystemTemp, inSystemTemp},
        // The file's path must fit the system's limit: 242 characters of TEMP do, 243 not.
        {"242 characters", true, temp242, true, temp242 + "\\" + kPolicyName, temp242 + "\\" + kPolicyName},
        {"243 characters", true, temp243, true, inSystemTemp, inSystemTemp},
        {"259 characters", true, temp259, true, inSystemTemp, inSystemTemp},
        {"a folder that does not exist", true, layout.root + "\\nowhere", true, inSystemTemp, inSystemTemp},
        {"260 characters", true, temp260, true, inSystemTemp, inSystemTemp},
        {"300 characters", true, temp300, true, inSystemTemp, inSystemTemp},
        {"unset, no TMP either: the profile", false, "", false, inProfile, inProfile},
    };
    const std::string places[] = {inTemp, inSpaced, inSystemTemp, inProfile, temp242 + "\\" + kPolicyName};
    const std::string expectedText = policyText(asUrlPath(layout.appDir) + "/", asUrlPath(quickTimeFallback()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& place : places) removeTree(place);
        Launch launch = standardLaunch(layout);
        setVariable(launch, "TEMP", c.hasTemp, c.temp);
        if (c.hasTmp) launch.env["TMP"] = systemTemp;

        const std::vector<std::string> options = launchOptions(launch);
        EXPECT_EQ(options[3], kPolicyOption + asUrlPath(c.optionPath));
        for (const std::string& place : places) {
            if (place == c.file)
                EXPECT_EQ(readFile(place), expectedText) << place;
            else
                EXPECT_FALSE(exists(place)) << place;
        }
    }
}

// A file: URL as a runtime reads it: %XX escapes are UTF-8 bytes, slashes separate folders.
std::wstring urlToPath(const std::string& ansiUrl) {
    std::string utf8;
    for (size_t at = 0; at < ansiUrl.size(); ++at) {
        if (ansiUrl[at] == '%' && at + 2 < ansiUrl.size()) {
            utf8 += static_cast<char>(std::stoi(ansiUrl.substr(at + 1, 2), nullptr, 16));
            at += 2;
        } else {
            utf8 += ansiUrl[at] == '/' ? '\\' : ansiUrl[at];
        }
    }
    return utf8ToWide(utf8);
}

// A profile and TEMP named outside code page 1252, with the best-fit look-alike of the profile
// (Ł to L, Ż to Z, ł to l, ć to c) beside it: the launch reaches the true folders or none.
TEST_F(ConfigLaunch, ProfileAndTempOutsideTheCodePageAreTheTrueFolders) {
    const std::string profile = layout.root + "\\Users\\\xc5\x81ukasz \xc5\xbb\xc3\xb3\xc5\x82\xc4\x87";
    const std::string lookAlike = layout.root + "\\Users\\Lukasz Z\xc3\xb3lc";
    const std::string temp = profile + "\\\xe7\x8e\x8b Temp";
    makeFolders(temp);
    makeFolders(lookAlike);
    Launch launch = standardLaunch(layout);
    launch.env["USERPROFILE"] = profile;
    launch.env["TEMP"] = temp;

    const std::vector<std::string> options = launchOptions(launch);
    EXPECT_TRUE(hasLine(traceLines(layout.trace), "cwd=" + profile)) << readFile(layout.trace);
    ASSERT_EQ(options[3].compare(0, std::strlen(kPolicyOption), kPolicyOption), 0) << options[3];
    const std::wstring named = urlToPath(options[3].substr(std::strlen(kPolicyOption)));
    EXPECT_EQ(longPath(named), temp + "\\" + kPolicyName) << options[3];
    EXPECT_EQ(readFile(temp + "\\" + kPolicyName),
              policyText(asUrlPath(layout.appDir) + "/", asUrlPath(quickTimeFallback())));

    // A fatal launch records its error in the true profile.
    Registry::clearAll();
    const LaunchResult result = runKorvo(layout.exe, launch);
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_NE(readFile(profile + "\\Logs\\Korvo Session Log.txt").find("Can't locate JRE"), std::string::npos);
    EXPECT_TRUE(listFolder(lookAlike).empty());
}

// The application folder, an archive under lib and the maker's folder named outside code page
// 1252: what the runtime receives names the real files, and the private runtime loads.
TEST_F(ConfigLaunch, FoldersOutsideTheCodePageReachTheRuntimeAsTheRealFiles) {
    const std::string app = layout.root + "\\Apps\\\xe7\x8e\x8b Korvo";
    const std::string archive = app + "\\lib\\\xc5\x81\xc3\xb3" "d\xc5\xba.jar";
    const std::string maker = layout.root + "\\M\xc4\x85ker";
    makeFolders(app + "\\lib");
    copyFile(korvoExe(), app + "\\Korvo.exe");
    installMainJar(app);
    writeFile(archive, "an archive");
    const std::string runtime = installPrivateRuntime(maker);
    const std::wstring makerWide = utf8ToWide(maker);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Halvesta", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"JAVA_HOME", 0, REG_SZ, reinterpret_cast<const BYTE*>(makerWide.c_str()),
                   static_cast<DWORD>((makerWide.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);

    const std::vector<std::string> options = launchOptions(standardLaunch(layout), app + "\\Korvo.exe");
    std::vector<std::string> entries;
    const std::string classPath = options[0].substr(std::strlen("-Djava.class.path="));
    for (size_t start = 0, end; start < classPath.size(); start = end + 1) {
        end = classPath.find(';', start);
        entries.push_back(realPath(classPath.substr(start, end - start)));
    }
    ASSERT_EQ(entries.size(), 4u) << options[0];
    EXPECT_EQ(entries[0], app + "\\Korvo.jar");
    EXPECT_EQ(entries[2], runtime);
    EXPECT_EQ(entries[3], archive);
    const auto attach = linesWithPrefix(traceLines(layout.trace), "jvm attach ");
    ASSERT_EQ(attach.size(), 1u);
    EXPECT_EQ(longPath(utf8ToWide(attach[0].substr(11))), runtime + "\\bin\\client\\jvm.dll");
}

// When the system names no temporary folder either, nothing is written, and never at the root
// of the current drive.
TEST_F(ConfigLaunch, NoTemporaryFolderAtAllWritesNothing) {
    const std::string tooLong = "C:\\" + std::string(297, 'L');
    const std::string driveRootPolicy = std::string("C:\\") + kPolicyName;
    ASSERT_FALSE(exists(driveRootPolicy));

    // The premise, checked in this process: with both variables too long the system has no answer.
    DWORD length = 0;
    char answer[MAX_PATH + 1] = {};
    {
        const SavedVariable savedTmp("TMP"), savedTemp("TEMP");
        setProcessEnv("TMP", tooLong.c_str());
        setProcessEnv("TEMP", tooLong.c_str());
        length = GetTempPathA(sizeof answer, answer);
    }
    ASSERT_EQ(length, 0u) << answer;

    Launch launch = standardLaunch(layout);
    launch.env["TEMP"] = tooLong;
    launch.env["TMP"] = tooLong;
    launch.currentDir = layout.root;
    const std::vector<std::string> options = launchOptions(launch);
    EXPECT_EQ(options[3].compare(0, sizeof kPolicyOption - 1, kPolicyOption), 0) << options[3];
    EXPECT_FALSE(exists(driveRootPolicy));
    EXPECT_FALSE(exists(layout.root + "\\" + kPolicyName));
    removeTree(driveRootPolicy);

    // The system's answer is a drive root (TMP=C:\), where another user has left a read-only
    // policy: the launch neither writes there nor names that file.
    const std::string planted = "// planted by another user\r\ngrant {\r\n};\r\n";
    writeFile(driveRootPolicy, planted);
    ASSERT_TRUE(SetFileAttributesW(utf8ToWide(driveRootPolicy).c_str(), FILE_ATTRIBUTE_READONLY));
    launch.env.erase("TEMP");
    launch.env["TMP"] = "C:\\";
    const std::vector<std::string> rootOptions = launchOptions(launch);
    EXPECT_EQ(readFile(driveRootPolicy), planted);
    EXPECT_EQ(rootOptions[3].find("file:/C:/"), std::string::npos) << rootOptions[3];
    removeTree(driveRootPolicy);
}

TEST_F(ConfigLaunch, PercentInTheApplicationFolderIsEscaped) {
    prepare("Apps\\100%\\Korvo");
    const std::vector<std::string> options = launchOptions(standardLaunch(layout));
    const std::string appCodeBase = "C:/kt/PercentInTheApplicationFolderIsEscaped/Apps/100%25/Korvo/";
    EXPECT_EQ(readFile(layout.policyFile()), policyText(appCodeBase, asUrlPath(quickTimeFallback())));
    const std::string head = "-Djava.class.path=C:\\kt\\" + testName() + "\\Apps\\100%\\Korvo\\Korvo.jar;";
    EXPECT_EQ(options[0].compare(0, head.size(), head), 0) << options[0];
}

// ---------------------------------------------------------------------------------------------
// Search path and QuickTime folder on the library path

TEST_F(ConfigLaunch, SearchPathOnTheLibraryPath) {
    struct Case {
        const char* what;
        const char* path;  // null: unset
        const char* expected;
    };
    const Case cases[] = {
        {"plain", "C:\\windows\\system32;C:\\windows", "C:\\windows\\system32;C:\\windows"},
        {"trailing backslashes", "C:\\bin\\;C:\\tools\\\\\\", "C:\\bin\\;C:\\tools"},
        {"only backslashes", "\\\\", ""},
        {"quotes", "\"C:\\Program Files\\Tool\";C:\\bin", " C:\\Program Files\\Tool ;C:\\bin"},
        {"quote after a backslash", "C:\\a\\\"", "C:\\a\\ "},
        {"empty", "", ""},
        {"unset", nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Launch launch = standardLaunch(layout);
        setVariable(launch, "PATH", c.path != nullptr, c.path ? c.path : "");
        EXPECT_EQ(launchOptions(launch)[1], libraryPath(c.expected, quickTimeFallback()));
    }
}

TEST_F(ConfigLaunch, QuickTimeFolderFromTheKey) {
    const std::string long1023 = "C:\\" + std::string(1020, 'q');
    struct Case {
        const char* what;
        DWORD type;
        std::string stored;
        std::string libraryTail;  // end of the library path
        std::string archive;      // the QuickTime entry of the class path
        std::string codeBase;     // its grant in the policy file
    };
    const Case cases[] = {
        {"no trailing backslash", REG_SZ, "D:\\QT", ";D:\\QT", "D:\\QTQTJava.zip", "D:/QT"},
        {"trailing backslash", REG_SZ, "C:\\QuickTime\\QTSystem\\", ";C:\\QuickTime\\QTSystem\\",
         "C:\\QuickTime\\QTSystem\\QTJava.zip", "C:/QuickTime/QTSystem/"},
        {"expanded, as the type asks", REG_EXPAND_SZ, "%SystemDrive%\\QT\\", ";C:\\QT\\", "C:\\QT\\QTJava.zip", "C:/QT/"},
        {"1023 characters", REG_SZ, long1023, ";" + long1023, long1023 + "QTJava.zip", "C:/" + std::string(1020, 'q')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Registry::clearAll();
        registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Maker");
        registry.setRaw(Registry::kQuickTimeKey, "QTExtDir", c.type, c.stored + '\0');
        const std::vector<std::string> options = launchOptions(standardLaunch(layout));
        EXPECT_EQ(options[1], libraryPath("C:\\windows\\system32;C:\\windows", c.libraryTail.substr(1)));
        ASSERT_GE(options[1].size(), c.libraryTail.size());
        EXPECT_EQ(options[1].substr(options[1].size() - c.libraryTail.size()), c.libraryTail);
        EXPECT_EQ(options[0], "-Djava.class.path=" + layout.appDir + "\\Korvo.jar;" + c.archive + ";" +
                                  runtimeHome() + ";");
        EXPECT_NE(readFile(layout.policyFile()).find("grant codeBase \"file:/" + c.codeBase + "-\" {"),
                  std::string::npos);
    }
}

TEST_F(ConfigLaunch, QuickTimeFallsBackToProgramFiles) {
    struct Case {
        const char* what;
        bool key;
        DWORD type;
        std::string bytes;
    };
    const Case cases[] = {
        {"key absent", false, REG_SZ, ""},
        {"value missing", true, REG_NONE, ""},
        {"REG_DWORD", true, REG_DWORD, std::string("\x01\x00\x00\x00", 4)},
        {"REG_BINARY", true, REG_BINARY, std::string("D:\\QT\\\0", 7)},
        {"1024 characters", true, REG_SZ, "C:\\" + std::string(1021, 'q') + '\0'},
        {"64 KiB", true, REG_SZ, std::string(64 * 1024, 'q') + '\0'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Registry::clearAll();
        registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Maker");
        if (c.key) {
            registry.setString(Registry::kQuickTimeKey, "Version", "7.1.6");
            if (c.type != REG_NONE) registry.setRaw(Registry::kQuickTimeKey, "QTExtDir", c.type, c.bytes);
        }
        const std::vector<std::string> options = launchOptions(standardLaunch(layout));
        EXPECT_EQ(options[1], libraryPath("C:\\windows\\system32;C:\\windows", quickTimeFallback()));
        EXPECT_EQ(options[0], "-Djava.class.path=" + layout.appDir + "\\Korvo.jar;" + quickTimeFallback() +
                                  "QTJava.zip;" + runtimeHome() + ";");
    }
}

TEST_F(ConfigLaunch, QuickTimeFallbackWithoutAUsableProgramFiles) {
    std::string programFiles259 = layout.root + "\\";
    programFiles259.append(259 - programFiles259.size(), 'P');
    // Never an empty prefix: "\QuickTime\QTSystem\" would be granted as a network host.
    const std::string system = systemProgramFiles();
    ASSERT_FALSE(system.empty());
    ASSERT_NE(system, layout.programFiles);
    struct Case {
        const char* what;
        bool set;
        std::string programFiles;
        std::string expected;
    };
    const Case cases[] = {
        {"unset", false, "", system + "\\QuickTime\\QTSystem\\"},
        {"empty", true, "", system + "\\QuickTime\\QTSystem\\"},
        {"300 characters", true, "C:\\" + std::string(297, 'P'), system + "\\QuickTime\\QTSystem\\"},
        {"259 characters", true, programFiles259, programFiles259 + "\\QuickTime\\QTSystem\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Launch launch = standardLaunch(layout);
        setVariable(launch, "ProgramFiles", c.set, c.programFiles);
        const std::vector<std::string> options = launchOptions(launch);
        EXPECT_EQ(options[1], libraryPath("C:\\windows\\system32;C:\\windows", c.expected));
        EXPECT_EQ(options[0], "-Djava.class.path=" + layout.appDir + "\\Korvo.jar;" + c.expected + "QTJava.zip;" +
                                  runtimeHome() + ";");
        EXPECT_NE(readFile(layout.policyFile()).find("grant codeBase \"file:/" + asUrlPath(c.expected) + "-\" {"),
                  std::string::npos);
    }
}

// ---------------------------------------------------------------------------------------------
// Class path

TEST_F(ConfigLaunch, WithoutArchivesTheClassPathEndsWithTheJavaHome) {
    const std::string expected = "-Djava.class.path=" + layout.appDir + "\\Korvo.jar;" + quickTimeFallback() +
                                 "QTJava.zip;" + runtimeHome() + ";";
    ASSERT_FALSE(exists(layout.appDir + "\\lib"));
    EXPECT_EQ(launchOptions(standardLaunch(layout))[0], expected) << "no lib folder";
    makeFolders(layout.appDir + "\\lib\\empty");
    writeFile(layout.appDir + "\\lib\\readme.txt", "");
    EXPECT_EQ(launchOptions(standardLaunch(layout))[0], expected) << "lib without archives";
}

namespace {

// Runs the archive scan in this process against folders under C:\kt\<test>.
class ArchiveScan : public ::testing::Test {
protected:
    std::string root;

    void SetUp() override {
        root = "C:\\kt\\" + testName();
        removeTree(root);
        makeFolders(root);
    }

    void TearDown() override { classPathOption.clear(); }

    // The entries the scan of folder adds, with folder given without its trailing backslash.
    static std::string scan(const std::string& folder) {
        classPathOption.clear();
        scanArchives(folder + "\\");
        return classPathOption;
    }

    static void files(const std::string& folder, std::initializer_list<const char*> names) {
        makeFolders(folder);
        for (const char* name : names) writeFile(folder + "\\" + name, "");
    }
};

}  // namespace

TEST_F(ArchiveScan, WorkedExampleTree) {
    const std::string appDir = "C:\\Apps\\Korvo";
    removeTree(appDir);
    files(appDir + "\\lib", {"a.jar", "readme.txt"});
    files(appDir + "\\lib\\sub", {"b.zip"});

    LaunchContext context;
    context.appDir = appDir;
    std::snprintf(context.javaHome, sizeof context.javaHome, "%s", "C:\\Program Files\\Java\\jre1.6.0_02");
    context.searchPath = "C:\\Windows;C:\\Tools";
    context.quickTimeDir = "C:\\Program Files\\QuickTime\\QTSystem\\";
    assemblePathOptions(context);
    EXPECT_EQ(classPathOption,
              "-Djava.class.path=C:\\Apps\\Korvo\\Korvo.jar;C:\\Program Files\\QuickTime\\QTSystem\\QTJava.zip;"
              "C:\\Program Files\\Java\\jre1.6.0_02;C:\\Apps\\Korvo\\lib\\a.jar;C:\\Apps\\Korvo\\lib\\sub\\b.zip;");
    EXPECT_EQ(context.libraryPathOption,
              "-Djava.library.path=.;C:\\Apps\\Korvo\\lib;C:\\Windows;C:\\Tools;"
              "C:\\Program Files\\QuickTime\\QTSystem\\");

    removeTree(appDir);
    RemoveDirectoryW(L"C:\\Apps");  // only when nothing else lives there
}

TEST_F(ArchiveScan, SubfolderArchivesComeWhereTheSubfolderIsListed) {
    const std::string lib = root + "\\lib";
    files(lib, {"z.jar", "B.jar", "a.jar"});
    files(lib + "\\m", {"m1.jar"});
    files(lib + "\\m\\deeper", {"d.zip"});
    files(lib + "\\C", {"c.zip"});
    // The order the file system lists them in (case-insensitive), which the scan follows.
    ASSERT_EQ(listFolder(lib), (std::vector<std::string>{"a.jar", "B.jar", "C", "m", "z.jar"}));
    ASSERT_EQ(listFolder(lib + "\\m"), (std::vector<std::string>{"deeper", "m1.jar"}));

    EXPECT_EQ(scan(lib), lib + "\\a.jar;" + lib + "\\B.jar;" + lib + "\\C\\c.zip;" + lib + "\\m\\deeper\\d.zip;" +
                             lib + "\\m\\m1.jar;" + lib + "\\z.jar;");
}

TEST_F(ArchiveScan, NamesDecideCaseSensitivelyAnywhereInThePath) {
    const std::string lib = root + "\\lib";
    files(lib, {"NAME.JAR", "Big.Zip", "x.jar.bak", "notes.zipped", "readme.txt", "jar", "zip.txt"});
    files(lib + "\\ext.jar", {"inner.txt", "inner.zip"});
    files(lib + "\\ext.jar\\empty.zip", {});
    ASSERT_EQ(listFolder(lib), (std::vector<std::string>{"Big.Zip", "ext.jar", "jar", "NAME.JAR", "notes.zipped",
                                                         "readme.txt", "x.jar.bak", "zip.txt"}));
    EXPECT_EQ(scan(lib), lib + "\\ext.jar\\inner.txt;" + lib + "\\ext.jar\\inner.zip;" + lib + "\\notes.zipped;" +
                             lib + "\\x.jar.bak;");

    // Below an application folder whose own name looks like an archive, every file counts.
    const std::string toolsLib = root + "\\tools.zip\\lib";
    files(toolsLib, {"readme.txt", "NAME.JAR"});
    files(toolsLib + "\\sub", {"notes.txt"});
    files(toolsLib + "\\sub\\empty", {});
    EXPECT_EQ(scan(toolsLib), toolsLib + "\\NAME.JAR;" + toolsLib + "\\readme.txt;" + toolsLib + "\\sub\\notes.txt;");
}

// ---------------------------------------------------------------------------------------------
// Scan termination: a link that would close a cycle is not followed, depth is not limited.

namespace {

// C:\kt\scan-cycle\lib\sub\loop links back to lib.
class ScanCycle : public ConfigLaunch {
protected:
    const std::string appDir = "C:\\kt\\scan-cycle";
    const std::string lib = appDir + "\\lib";
    const std::string link = lib + "\\sub\\loop";

    void SetUp() override {
        ConfigLaunch::SetUp();
        makeHostLink(lib + "\\sub", "loop", "..");
        writeFile(lib + "\\a.jar", "");
        writeFile(lib + "\\sub\\b.jar", "");
    }

    void TearDown() override {
        classPathOption.clear();
        for (const char* made : {"\\a.jar", "\\sub\\b.jar"}) removeTree(lib + made);
        for (const char* made : {"\\Korvo.exe", "\\Korvo.jar"}) removeTree(appDir + made);
    }
};

}  // namespace

TEST_F(ScanCycle, LinkBackUpIsNotFollowed) {
    ASSERT_TRUE(isFolderLink(link)) << link << " is not a link";
    // It really is a cycle: lib is visible again through it.
    ASSERT_TRUE(exists(link + "\\sub\\loop\\a.jar"));

    const std::string expected = lib + "\\a.jar;" + lib + "\\sub\\b.jar;";
    classPathOption.clear();
    const DWORD start = GetTickCount();
    scanArchives(lib + "\\");
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(classPathOption, expected);
    EXPECT_LT(elapsed, 5000u);

    // And the same through a real launch from that folder.
    copyFile(korvoExe(), appDir + "\\Korvo.exe");
    installMainJar(appDir);
    const std::vector<std::string> options = launchOptions(standardLaunch(layout), appDir + "\\Korvo.exe");
    EXPECT_EQ(options[0], "-Djava.class.path=" + appDir + "\\Korvo.jar;" + quickTimeFallback() + "QTJava.zip;" +
                              runtimeHome() + ";" + expected);
}

// Links are followed into every folder not already on the descent path: a sibling folder outside
// lib, lib itself, an ancestor of lib, and two folders that point at each other.
TEST_F(ArchiveScan, LinksAreFollowedUntilTheyWouldCloseACycle) {
    const std::string app = root + "\\app";
    const std::string lib = app + "\\lib";
    files(root + "\\shared", {"s.jar"});
    files(app, {"Korvo.jar"});
    files(lib, {"a.jar"});
    files(lib + "\\p", {"p.jar"});
    files(lib + "\\q", {"q.jar"});
    files(lib + "\\sub", {"b.jar"});
    ASSERT_TRUE(makeHostLink(lib, "ext", "../../shared"));
    ASSERT_TRUE(makeHostLink(lib, "self", "."));
    ASSERT_TRUE(makeHostLink(lib + "\\sub", "up", "../.."));
    ASSERT_TRUE(makeHostLink(lib + "\\p", "toQ", "../q"));
    ASSERT_TRUE(makeHostLink(lib + "\\q", "toP", "../p"));
    ASSERT_EQ(listFolder(lib), (std::vector<std::string>{"a.jar", "ext", "p", "q", "self", "sub"}));

    const DWORD start = GetTickCount();
    const std::string found = scan(lib);
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_EQ(found, lib + "\\a.jar;" + lib + "\\ext\\s.jar;" + lib + "\\p\\p.jar;" + lib + "\\p\\toQ\\q.jar;" +
                         lib + "\\q\\q.jar;" + lib + "\\q\\toP\\p.jar;" + lib + "\\sub\\b.jar;" + lib +
                         "\\sub\\up\\Korvo.jar;");
    for (const char* link : {"\\ext", "\\self", "\\sub\\up", "\\p\\toQ", "\\q\\toP"}) removeTree(lib + link);
}

TEST_F(ArchiveScan, FortyLevelsDeepAreAllListed) {
    // Each level holds the next one ("dNN", listed first) and a z.jar.
    std::vector<std::string> levels = {root + "\\lib"};
    for (int depth = 1; depth <= 40; ++depth) {
        char name[8];
        std::snprintf(name, sizeof name, "\\d%02d", depth);
        levels.push_back(levels.back() + name);
    }
    makeFolders(levels.back());
    for (const std::string& level : levels) writeFile(level + "\\z.jar", "");

    std::string expected;
    for (auto level = levels.rbegin(); level != levels.rend(); ++level) expected += *level + "\\z.jar;";

    const DWORD start = GetTickCount();
    const std::string found = scan(levels.front());
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(found, expected);
    EXPECT_LT(elapsed, 5000u);
}
