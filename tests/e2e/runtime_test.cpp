// Which runtime a launch chooses and how it loads it, through real launches against the test
// prefix's registry and file system, with the stand-in runtime recording what it received.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/launch_fixture.h"

using namespace harness;

namespace {

const char kVersionKey[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.6.0_02";

class RuntimeChoice : public InstalledApp {
protected:

    // A registered runtime in root\registered: JavaHome and RuntimeLib.
    std::string registerRuntime(bool withCLibrary = true) {
        const std::string home = layout.root + "\\registered\\jre";
        makeFolders(home + "\\bin\\client");
        copyFile(standinDir() + "\\jvm.dll", home + "\\bin\\client\\jvm.dll");
        if (withCLibrary) copyFile(standinDir() + "\\msvcr71.dll", home + "\\bin\\msvcr71.dll");
        registry.registerJava("1.6.0_02", home, home + "\\bin\\client\\jvm.dll");
        return home;
    }

    LaunchResult launch() { return runKorvo(layout.exe, standardLaunch(layout)); }

    // jvm.dll imports msvcr71.dll; without a preloaded one the system's search must find it,
    // here beside the executable, where an application may ship its own copy.
    std::string cLibraryBesideTheExecutable() {
        const std::string copy = layout.appDir + "\\msvcr71.dll";
        copyFile(standinDir() + "\\msvcr71.dll", copy);
        return copy;
    }

    // The folder jvm.dll was loaded from, as the stand-in saw it.
    std::string loadedJvm() {
        const auto lines = linesWithPrefix(trace(), "jvm attach ");
        return lines.empty() ? std::string() : lines[0].substr(11);
    }

    // Third entry of the class path: the Java home.
    std::string javaHomeOnClassPath() {
        const auto options = traceOptions(trace());
        if (options.empty()) return "<no creation>";
        std::string entries = options[0].substr(std::string("-Djava.class.path=").size());
        for (int skip = 0; skip < 2; ++skip) entries = entries.substr(entries.find(';') + 1);
        return entries.substr(0, entries.find(';'));
    }

    void expectRan(const LaunchResult& result) {
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_FALSE(result.timedOut);
        EXPECT_TRUE(result.boxes.empty()) << result.boxes[0].text;
        EXPECT_TRUE(hasLine(trace(), "main returned"));
    }

    void expectFatal(const LaunchResult& result, const std::string& message) {
        expectFatalReport(result, layout, message);
    }
};

}  // namespace

TEST_F(RuntimeChoice, WithoutMakersKeyTheRegisteredRuntimeRuns) {
    const std::string home = registerRuntime();
    expectRan(launch());
    EXPECT_EQ(loadedJvm(), home + "\\bin\\client\\jvm.dll");
    EXPECT_EQ(javaHomeOnClassPath(), home);
    // Its C library comes from the registered Java home, before the machine library.
    const auto lines = trace();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "msvcr71 attach " + home + "\\bin\\msvcr71.dll");
}

TEST_F(RuntimeChoice, PrivateRuntimeUnderMakersFolderWinsOverJavaKeys) {
    registerRuntime();
    const std::string runtime = installPrivateRuntime(layout.root + "\\Maker");
    registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Maker");
    expectRan(launch());
    EXPECT_EQ(loadedJvm(), runtime + "\\bin\\client\\jvm.dll");
    EXPECT_EQ(javaHomeOnClassPath(), runtime);
    EXPECT_EQ(trace()[0], "msvcr71 attach " + runtime + "\\bin\\msvcr71.dll");
}

TEST_F(RuntimeChoice, FallbackFolderBesideTheApplicationFolder) {
    // appDir is root\Apps\Korvo, so the fallback is root\Apps\Java.
    const std::string runtime = installPrivateRuntime(layout.root + "\\Apps\\Java");
    registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\absent");
    expectRan(launch());
    EXPECT_EQ(loadedJvm(), runtime + "\\bin\\client\\jvm.dll");
    EXPECT_EQ(javaHomeOnClassPath(), runtime);
}

TEST_F(RuntimeChoice, FallbackIsNeverInsideTheApplicationFolder) {
    installPrivateRuntime(layout.appDir + "\\Java");
    registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\absent");
    expectFatal(launch(), "Can't locate JRE[Java Runtime Environment]");
}

TEST_F(RuntimeChoice, UnreadableMakersValueLetsTheFallbackDecide) {
    const std::string runtime = installPrivateRuntime(layout.root + "\\Apps\\Java");
    struct Value {
        DWORD type;
        std::string bytes;
    };
    const Value values[] = {
        {REG_DWORD, std::string("\x01\x00\x00\x00", 4)},
        {REG_SZ, std::string(64 * 1024, 'x') + '\0'},
        {REG_BINARY, "C:\\"},
    };
    for (const Value& value : values) {
        registry.setRaw(Registry::kMakerKey, "JAVA_HOME", value.type, value.bytes);
        removeTree(layout.trace);
        expectRan(launch());
        EXPECT_EQ(loadedJvm(), runtime + "\\bin\\client\\jvm.dll");
    }
    // Key present, value missing altogether.
    Registry::clearAll();
    registry.createKey(Registry::kMakerKey);
    removeTree(layout.trace);
    expectRan(launch());
    EXPECT_EQ(loadedJvm(), runtime + "\\bin\\client\\jvm.dll");
}

TEST_F(RuntimeChoice, UnterminatedMakersValueIsTerminated) {
    const std::string runtime = installPrivateRuntime(layout.root + "\\Maker");
    registry.setRaw(Registry::kMakerKey, "JAVA_HOME", REG_SZ, layout.root + "\\Maker");
    expectRan(launch());
    EXPECT_EQ(loadedJvm(), runtime + "\\bin\\client\\jvm.dll");
}

TEST_F(RuntimeChoice, ValueEndingInABackslashIsUsedUnchanged) {
    installPrivateRuntime(layout.root + "\\Maker");
    registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Maker\\");
    expectRan(launch());
    EXPECT_EQ(javaHomeOnClassPath(), layout.root + "\\Maker\\\\jre1.6.0_02");
}

TEST_F(RuntimeChoice, ExistingMakersFolderWithoutRuntimeSkipsTheFallback) {
    const std::string home = registerRuntime();
    makeFolders(layout.root + "\\Maker");
    installPrivateRuntime(layout.root + "\\Apps\\Java");
    registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Maker");
    expectRan(launch());
    EXPECT_EQ(loadedJvm(), home + "\\bin\\client\\jvm.dll");
}

TEST_F(RuntimeChoice, MakersValueNamingAFileLeadsToTheRegisteredRuntime) {
    const std::string home = registerRuntime();
    writeFile(layout.root + "\\notafolder", "x");
    installPrivateRuntime(layout.root + "\\Apps\\Java");
    registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\notafolder");
    expectRan(launch());
    EXPECT_EQ(loadedJvm(), home + "\\bin\\client\\jvm.dll");
}

TEST_F(RuntimeChoice, IncompletePrivateRuntimeKeepsItsFolderOnlyWhenJavaHomeIsUnreadable) {
    const std::string home = registerRuntime();
    makeFolders(layout.root + "\\Maker\\jre1.6.0_02\\bin");
    registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Maker");
    expectRan(launch());
    EXPECT_EQ(loadedJvm(), home + "\\bin\\client\\jvm.dll");
    EXPECT_EQ(javaHomeOnClassPath(), home);

    // JavaHome missing: that folder's bin is still not the runtime's, and its C library unused.
    cLibraryBesideTheExecutable();
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kVersionKey, "JavaHome");
    copyFile(standinDir() + "\\planted.dll", layout.root + "\\Maker\\jre1.6.0_02\\bin\\msvcr71.dll");
    expectRan(launch());
    EXPECT_TRUE(linesWithPrefix(trace(), "PLANTED").empty());

    // A "jre1.6.0_02" that is a file counts as found too; JavaHome missing keeps its path.
    removeTree(layout.root + "\\Maker\\jre1.6.0_02");
    writeFile(layout.root + "\\Maker\\jre1.6.0_02", "not a folder");
    removeTree(layout.trace);
    expectRan(launch());
    EXPECT_EQ(javaHomeOnClassPath(), layout.root + "\\Maker\\jre1.6.0_02");
}

// A 64-bit runtime in the 64-bit view (only WOW64 has one) cannot serve; the trace says it is there.
TEST_F(RuntimeChoice, NoRuntimeAnywhereEndsTheLaunch) {
    makeFolders(layout.root + "\\Maker\\jre1.6.0_02");
    registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Maker");
    registry.setString64(std::string(Registry::kJdkKey) + "\\17", "JavaHome", "C:\\Program Files\\Java\\jdk-17");
    Launch traced = standardLaunch(layout);
    traced.env["KORVO_TRACE"] = "1";
    expectFatal(runKorvo(layout.exe, traced), "Can't locate JRE[Java Runtime Environment]");
    const std::string named = "runtime: in the 64-bit view, HKLM\\SOFTWARE\\JavaSoft\\JDK\\17, JavaHome \"C:\\Program Files";
    EXPECT_EQ(linesWithPrefix(launchTraceSteps(layout.launchTrace()), named).size(), underWow64() ? 1u : 0u);
}

TEST_F(RuntimeChoice, MissingVersionKeyEndsTheLaunch) {
    registry.setString(Registry::kJavaKey, "CurrentVersion", "1.6.0_02");
    expectFatal(launch(), "Can't locate JRE[CurrentVersion]");
}

TEST_F(RuntimeChoice, OversizeCurrentVersionIsUnreadable) {
    const std::string home = registerRuntime();
    registry.setString(Registry::kJavaKey, "CurrentVersion", std::string(80, '9'));
    // Unreadable, so it names no runtime (the key path "...Environment\" opens the Java key itself,
    // which holds no RuntimeLib): the version subkeys decide.
    expectRan(launch());
    EXPECT_EQ(loadedJvm(), home + "\\bin\\client\\jvm.dll");
}

TEST_F(RuntimeChoice, MissingOrEmptyRuntimeLibEndsWithErrorLoadingJvm) {
    registerRuntime();
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kVersionKey, "RuntimeLib");
    expectFatal(launch(), "Error loading JVM");

    removeTree(layout.profile + "\\Logs");
    registry.setString(kVersionKey, "RuntimeLib", layout.root + "\\nowhere\\jvm.dll");
    expectFatal(launch(), "Error loading JVM");
}

TEST_F(RuntimeChoice, UnloadableCLibraryIsLoggedAndTheLaunchGoesOn) {
    const std::string runtime = installPrivateRuntime(layout.root + "\\Maker", false);
    writeFile(runtime + "\\bin\\msvcr71.dll", "this is not a library");
    registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Maker");
    const std::string found = cLibraryBesideTheExecutable();
    expectRan(launch());
    EXPECT_EQ(linesWithPrefix(trace(), "msvcr71 attach "), std::vector<std::string>{"msvcr71 attach " + found});
    std::vector<LogRecord> records;
    ASSERT_TRUE(parseSessionLog(readFile(layout.logFile()), records));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].text, "Error Launching: Error loading msvcr71.dll");
}

TEST_F(RuntimeChoice, RegisteredRouteNeverLoadsACLibraryRelativeToTheStartFolder) {
    registerRuntime(false);
    // The folder chain a relative key path would resolve to, holding a library that records
    // its own loading.
    const std::string start = layout.root + "\\start";
    const std::string planted =
        start + "\\SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.6.0_02\\bin";
    makeFolders(planted);
    copyFile(standinDir() + "\\planted.dll", planted + "\\msvcr71.dll");
    const std::string found = cLibraryBesideTheExecutable();
    Launch launch = standardLaunch(layout);
    launch.currentDir = start;
    expectRan(runKorvo(layout.exe, launch));
    EXPECT_TRUE(linesWithPrefix(trace(), "PLANTED").empty());
    // Only jvm.dll's own import brought one in, through the system's search.
    EXPECT_EQ(linesWithPrefix(trace(), "msvcr71 attach "), std::vector<std::string>{"msvcr71 attach " + found});
}

TEST_F(RuntimeChoice, LaunchTraceNamesTheLoadErrorAndMachineTypeOfA64BitJvm) {
    const std::string runtime = installPrivateRuntime(layout.root + "\\Maker");
    copyFile(standinDir() + "\\x64\\jvm.dll", runtime + "\\bin\\client\\jvm.dll");
    registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Maker");
    Launch traced = standardLaunch(layout);
    traced.env["KORVO_TRACE"] = "1";
    expectFatal(runKorvo(layout.exe, traced), "Error loading JVM");
    const auto loads = linesWithPrefix(launchTraceSteps(layout.launchTrace()),
                                       "load \"" + runtime + "\\bin\\client\\jvm.dll\": failed, error 193: ");
    ASSERT_EQ(loads.size(), 1u) << readFile(layout.launchTrace());
    EXPECT_NE(loads[0].find("x86-64 (64-bit)"), std::string::npos) << loads[0];
}

TEST_F(RuntimeChoice, LibraryWithoutTheEntryPointIsNeverCalled) {
    const std::string runtime = installPrivateRuntime(layout.root + "\\Maker");
    copyFile(standinDir() + "\\noexport\\jvm.dll", runtime + "\\bin\\client\\jvm.dll");
    registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Maker");
    expectFatal(launch(), "Can't create Java VM ");
}

TEST_F(RuntimeChoice, LibraryNamedWithoutAFolderIsNeverTakenFromTheStartFolder) {
    registry.registerJava("1.6.0_02", layout.root + "\\registered", "jvm.dll");
    const std::string start = layout.root + "\\start";
    makeFolders(start);
    copyFile(standinDir() + "\\planted.dll", start + "\\jvm.dll");
    Launch launch = standardLaunch(layout);
    launch.currentDir = start;
    expectFatal(runKorvo(layout.exe, launch), "Error loading JVM");
    EXPECT_TRUE(linesWithPrefix(trace(), "PLANTED").empty());
}

TEST_F(RuntimeChoice, RelativeMakersValueCountsAsEmptySoTheFallbackDecides) {
    // The same relative path exists below the start folder, holding a complete runtime.
    const std::string start = layout.root + "\\start";
    installPrivateRuntime(start + "\\Maker");
    const std::string runtime = installPrivateRuntime(layout.root + "\\Apps\\Java");
    registry.setString(Registry::kMakerKey, "JAVA_HOME", "Maker");
    Launch launch = standardLaunch(layout);
    launch.currentDir = start;
    expectRan(runKorvo(layout.exe, launch));
    EXPECT_EQ(loadedJvm(), runtime + "\\bin\\client\\jvm.dll");
}

// Later runtimes' jvm.dll imports another C library, which they ship only in their bin folder
// with what it imports in turn; inside JNI_CreateJavaVM the runtime loads bin\java.dll itself.
// Java 11's jvm.dll and main's bin\awt.dll import libraries only bin holds; a bin with ucrtbase.dll
// gets the system's copy loaded first (the trace shows it: Wine loads it into every process).
TEST_F(RuntimeChoice, CLibraryOfEachJavaVersionIsLoadedFromTheRuntimesBin) {
    const struct { const char *java, *cLibrary, *home; bool registered, planted, ucrt; } rows[] = {
        {"java8", "msvcr100", "jre1.8.0_401", true, false},      // registered, as Java 8 installs
        {"java11", "vcruntime140", "jre1.6.0_02", false, false},  // the private runtime
        {"java11", "vcruntime140", "jre1.6.0_02", false, true},   // a copy in the start folder
        {"java11", "vcruntime140", "jre1.6.0_02", false, false, true},  // bin ships ucrtbase.dll
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.java) + (row.planted ? ", planted copy" : ""));
        Registry::clearAll();
        removeTree(layout.trace);
        removeTree(layout.launchTrace());
        const std::string home = layout.root + "\\" + row.java + "\\" + row.home, dll = row.cLibrary + std::string(".dll");
        makeFolders(home + "\\bin\\client");
        copyFile(standinDir() + "\\" + row.java + "\\jvm.dll", home + "\\bin\\client\\jvm.dll");
        for (const char* file :
             {dll.c_str(), "korvocrt.dll", "verify.dll", "java.dll", "korvoapi.dll", "awt.dll", "korvofont.dll"})
            copyFile(standinDir() + "\\" + row.java + "\\" + file, home + "\\bin\\" + file);
        if (row.registered) registry.registerJava("1.8", home, home + "\\bin\\client\\jvm.dll");
        if (!row.registered) registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\" + row.java);
        Launch start = standardLaunch(layout);
        start.currentDir = layout.root + "\\start";
        makeFolders(start.currentDir);
        if (row.planted) copyFile(standinDir() + "\\planted.dll", start.currentDir + "\\" + dll);
        if (row.ucrt) copyFile(standinDir() + "\\planted.dll", home + "\\bin\\ucrtbase.dll");
        start.env["KORVO_STANDIN_MODE"] = "desktop";
        start.env["KORVO_TRACE"] = "1";
        expectRan(runKorvo(layout.exe, start));
        const std::string attach = row.cLibrary + std::string(" attach ");
        EXPECT_EQ(linesWithPrefix(trace(), attach), std::vector<std::string>{attach + home + "\\bin\\" + dll});
        EXPECT_TRUE(linesWithPrefix(trace(), "PLANTED").empty());
        EXPECT_TRUE(hasLine(trace(), "desktop library loaded " + home + "\\bin\\awt.dll"));
        EXPECT_EQ(hasLine(launchTraceSteps(layout.launchTrace()), "load \"C:\\windows\\system32\\ucrtbase.dll\": loaded"),
                  row.ucrt);
    }
}

// Java 9 and later register under JavaSoft\JRE or JavaSoft\JDK, read like the classic key; they
// are tried, in that order, only when the classic key names no runtime; a key whose
// CurrentVersion names none gives its highest version whose jvm.dll exists.
TEST_F(RuntimeChoice, LaterRegistryKeysServeOnlyWhenTheClassicKeyNamesNoRuntime) {
    const std::string j17 = layout.root + "\\jdk-17", j11 = layout.root + "\\jdk-11", jre = Registry::kJreKey;  // two homes
    const std::string client = "\\bin\\client\\jvm.dll", server = "\\bin\\server\\jvm.dll", jdk = Registry::kJdkKey;
    for (const std::string& jvm : {j17 + client, j17 + server, j11 + server}) {
        makeFolders(jvm.substr(0, jvm.size() - 8));
        copyFile(standinDir() + "\\java11\\jvm.dll", jvm);
        for (const char* file : {"vcruntime140.dll", "korvocrt.dll", "verify.dll", "java.dll", "korvoapi.dll"})
            copyFile(standinDir() + "\\java11\\" + file, jvm.substr(0, jvm.find("\\bin\\") + 5) + file);
    }
    auto java = [&](const char* v, const std::string& home, const std::string& key, const std::string& lib = "") {
        registry.registerJava(v, home, lib, key);
    };
    auto version = [&](const char* v, const std::string& home) { registry.setString(jdk + "\\" + v, "JavaHome", home); };
    auto current = [&](const std::string& key, const char* v) { registry.setString(key, "CurrentVersion", v); };
    const struct { const char* what; std::function<void()> registers; std::string jvm; } rows[] = {
        {"RuntimeLib names bin\\server", [&] { java("17", j17, jre, j17 + server); }, j17 + server},
        {"no RuntimeLib: bin\\client first", [&] { java("17", j17, jdk); }, j17 + client},
        {"classic wins", [&] { java("17", j17, jre); registerRuntime(); }, layout.root + "\\registered\\jre" + client},
        {"no classic version key", [&] { java("17", j17, jre); current(Registry::kJavaKey, "1.8"); }, j17 + client},
        {"classic without RuntimeLib", [&] { java("1.8", j11, Registry::kJavaKey); java("17", j17, jdk); }, j17 + client},
        {"JRE before JDK", [&] { java("11", j11, jre); java("17", j17, jdk); }, j11 + server},
        {"RuntimeLib naming nothing", [&] { java("17", j17, jre, j17 + "\\no.dll"); java("11", j11, jdk); }, j11 + server},
        {"an installer's", [&] { java("17", j17 + "\\", jdk); version("17.0.15.6", j17 + "\\"); }, j17 + client},
        {"CurrentVersion deleted by an update",
         [&] { version("11.0.21", j11); version("17.0.15.6", j17 + "\\"); version("21.0.1", j17 + "\\gone"); }, j17 + client},
        {"CurrentVersion uninstalled", [&] { current(jdk, "17"); version("11.0.21", j11); }, j11 + server},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Registry::clearAll();
        removeTree(layout.trace);
        removeTree(layout.profile + "\\Logs");
        row.registers();
        expectRan(launch());
        EXPECT_EQ(loadedJvm(), row.jvm);
        EXPECT_EQ(javaHomeOnClassPath(), row.jvm.substr(0, row.jvm.find("\\bin\\")));
        EXPECT_FALSE(exists(layout.logFile()));
    }
}
