// Checks of the stand-in jvm.dll and its companion DLLs: the launcher tests read the
// stand-in's trace as the truth about what the launcher did, so the trace and the class
// lookup behind it must be right.
//
// Paths come from compile definitions STANDIN_DIR and TEST_JARS_DIR (host paths; a path
// starting with / is reached through Wine's drive Z:).
#include <gtest/gtest.h>

#include <windows.h>

#include <jni.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#ifndef STANDIN_DIR
#error "STANDIN_DIR must name the folder holding the stand-in DLLs"
#endif
#ifndef TEST_JARS_DIR
#error "TEST_JARS_DIR must name the folder holding Korvo.jar and other.jar"
#endif

namespace {

using CreateJavaVM = jint(JNICALL*)(JavaVM**, void**, void*);

std::wstring widen(const std::string& text, UINT codePage = CP_UTF8) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string narrow(const std::wstring& text, UINT codePage = CP_UTF8) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                        nullptr, nullptr);
    return out;
}

// Class path options are read by the runtime in the ANSI code page.
std::string ansi(const std::wstring& text) {
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, &lossy);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        &lossy);
    EXPECT_FALSE(lossy) << "not representable in the ANSI code page: " << narrow(text);
    return out;
}

std::wstring hostPath(const char* path) {
    std::wstring w = widen(path);
    if (!w.empty() && w[0] == L'/') w = L"Z:" + w;
    std::replace(w.begin(), w.end(), L'/', L'\\');
    while (!w.empty() && w.back() == L'\\') w.pop_back();
    return w;
}

std::wstring standinFile(const std::wstring& name) { return hostPath(STANDIN_DIR) + L"\\" + name; }
std::wstring jarFile(const std::wstring& name) { return hostPath(TEST_JARS_DIR) + L"\\" + name; }

std::string readFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::wstring& path, const std::string& data) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    ASSERT_TRUE(out.good()) << narrow(path);
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

void removeTree(const std::wstring& dir) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = dir + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) removeTree(path);
            else DeleteFileW(path.c_str());
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
}

std::wstring makeScratchDir() {
    static int counter = 0;
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    EXPECT_GT(n, 0u);
    std::wstring dir = std::wstring(temp, n) + L"korvo-standin-" +
                       std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

bool makeDirs(const std::wstring& path) {
    for (size_t pos = path.find(L'\\', 3); pos != std::wstring::npos; pos = path.find(L'\\', pos + 1))
        CreateDirectoryW(path.substr(0, pos).c_str(), nullptr);
    CreateDirectoryW(path.c_str(), nullptr);
    return GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY;
}

std::wstring envValue(const wchar_t* name, bool* present) {
    wchar_t value[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH * 2);
    *present = n > 0 && n < MAX_PATH * 2;
    return *present ? std::wstring(value, n) : std::wstring();
}

const char kMainClass[] = "com/qzm/korvo/Korvo";
const char kMainSig[] = "([Ljava/lang/String;)V";

class StandinJvm : public ::testing::Test {
protected:
    void SetUp() override {
        // A death test's child process works in the folder its parent chose, so that the
        // parent can remove it afterwards.
        bool inherited = false;
        dir_ = envValue(L"KORVO_STANDIN_CHILD_DIR", &inherited);
        if (inherited) CreateDirectoryW(dir_.c_str(), nullptr);
        else dir_ = makeScratchDir();
        trace_ = dir_ + L"\\trace.txt";
        release_ = dir_ + L"\\release";
        SetEnvironmentVariableW(L"KORVO_STANDIN_TRACE", trace_.c_str());
        SetEnvironmentVariableW(L"KORVO_STANDIN_MODE", nullptr);
        SetEnvironmentVariableW(L"KORVO_STANDIN_RELEASE", release_.c_str());
        SetEnvironmentVariableW(L"KORVO_PLANTED_MARK", nullptr);
    }

    void TearDown() override {
        for (HMODULE m : modules_) FreeLibrary(m);
        SetEnvironmentVariableW(L"KORVO_STANDIN_TRACE", nullptr);
        SetEnvironmentVariableW(L"KORVO_STANDIN_MODE", nullptr);
        SetEnvironmentVariableW(L"KORVO_STANDIN_RELEASE", nullptr);
        SetEnvironmentVariableW(L"KORVO_PLANTED_MARK", nullptr);
        SetEnvironmentVariableW(L"KORVO_STANDIN_JAVA", nullptr);
        SetEnvironmentVariableW(L"KORVO_STANDIN_SYSTEM_LOCALE", nullptr);
        removeTree(dir_);
    }

    // A private copy per test, so every test starts with a runtime that was never created.
    HMODULE loadCopy(const std::wstring& source, const std::wstring& name) {
        std::wstring copy = dir_ + L"\\" + name;
        EXPECT_TRUE(CopyFileW(source.c_str(), copy.c_str(), FALSE)) << narrow(source);
        HMODULE module = LoadLibraryW(copy.c_str());
        EXPECT_NE(module, nullptr) << narrow(copy);
        if (module) modules_.push_back(module);
        return module;
    }

    void loadJvm() {
        // jvm.dll imports msvcr71.dll, which the launcher preloads the same way.
        ASSERT_NE(loadCopy(standinFile(L"msvcr71.dll"), L"msvcr71.dll"), nullptr);
        jvmPath_ = dir_ + L"\\jvm.dll";
        jvm_ = loadCopy(standinFile(L"jvm.dll"), L"jvm.dll");
        ASSERT_NE(jvm_, nullptr);
    }

    jint create(const std::vector<std::string>& options, jint version = JNI_VERSION_1_4) {
        if (!jvm_) loadJvm();
        auto fn = reinterpret_cast<CreateJavaVM>(
            reinterpret_cast<void (*)()>(GetProcAddress(jvm_, "JNI_CreateJavaVM")));
        EXPECT_NE(fn, nullptr);
        if (!fn) return JNI_ERR;
        std::vector<JavaVMOption> opts;
        for (const std::string& o : options) opts.push_back({const_cast<char*>(o.c_str()), nullptr});
        JavaVMInitArgs args;
        args.version = version;
        args.nOptions = static_cast<jint>(opts.size());
        args.options = opts.data();
        args.ignoreUnrecognized = JNI_TRUE;
        return fn(&vm_, reinterpret_cast<void**>(&env_), &args);
    }

    // Seven options, as the launcher passes.
    jint createWithClassPath(const std::string& classPath) {
        return create({"-Djava.class.path=" + classPath, "-Xmx256m", "-Dsun.java2d.noddraw=true",
                       "-Dkorvo.a=1", "-Dkorvo.b=2", "-Dkorvo.c=3", "-Dkorvo.d=4"});
    }

    std::vector<std::string> lines() const { return splitLines(readFile(trace_)); }

    bool traced(const std::string& line) const {
        auto all = lines();
        return std::find(all.begin(), all.end(), line) != all.end();
    }

    // The trace from the first line equal to `from` on.
    std::vector<std::string> linesFrom(const std::string& from) const {
        auto all = lines();
        auto it = std::find(all.begin(), all.end(), from);
        return std::vector<std::string>(it, all.end());
    }

    // Clears a pending exception the way the launcher does, and returns what was described.
    std::string describePending() {
        if (!env_->ExceptionOccurred()) return "<none>";
        env_->ExceptionDescribe();
        auto all = lines();
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            if (it->rfind("ExceptionDescribe ", 0) == 0) return it->substr(18);
        return "<not traced>";
    }

    jclass mainClass() {
        jclass cls = env_->FindClass(kMainClass);
        EXPECT_NE(cls, nullptr);
        return cls;
    }

    // The C++ wrapper would go through CallStaticVoidMethodV, a slot the stand-in leaves
    // unimplemented, so the variadic slot is called directly, as the launcher does.
    void callMain(jclass cls, jmethodID main, jobjectArray args) {
        env_->functions->CallStaticVoidMethod(env_, cls, main, args);
    }

    std::wstring dir_, trace_, release_, jvmPath_;
    std::vector<HMODULE> modules_;
    HMODULE jvm_ = nullptr;
    JavaVM* vm_ = nullptr;
    JNIEnv* env_ = nullptr;
};

TEST(StandinExports, OnlyTheNormalBuildExportsCreateUndecorated) {
    HMODULE cLibrary = LoadLibraryW(standinFile(L"msvcr71.dll").c_str());  // jvm.dll imports it
    ASSERT_NE(cLibrary, nullptr);
    HMODULE normal = LoadLibraryW(standinFile(L"jvm.dll").c_str());
    ASSERT_NE(normal, nullptr);
    EXPECT_NE(GetProcAddress(normal, "JNI_CreateJavaVM"), nullptr);
    EXPECT_EQ(GetProcAddress(normal, "JNI_CreateJavaVM@12"), nullptr);
    EXPECT_EQ(GetProcAddress(normal, "_JNI_CreateJavaVM@12"), nullptr);

    HMODULE noExport = LoadLibraryW(standinFile(L"noexport\\jvm.dll").c_str());
    ASSERT_NE(noExport, nullptr);
    EXPECT_NE(noExport, normal);
    EXPECT_EQ(GetProcAddress(noExport, "JNI_CreateJavaVM"), nullptr);
    EXPECT_NE(GetProcAddress(noExport, "KorvoStandinWithoutCreate"), nullptr);
    FreeLibrary(noExport);
    FreeLibrary(normal);
    FreeLibrary(cLibrary);
}

TEST_F(StandinJvm, TracesAttachOptionsDirectoryAndResult) {
    wchar_t cwd[MAX_PATH * 4];
    DWORD n = GetCurrentDirectoryW(MAX_PATH * 4, cwd);
    ASSERT_GT(n, 0u);
    ASSERT_EQ(create({"-Djava.class.path=a.jar;b", "-Xmx64m", "-Dk.cr=x\ry", "-Dk.lf=x\ny",
                      "-Dk.name=caf\xc3\xa9", "-Dk.empty=", "-Dk.tab=\t"}),
              JNI_OK);
    EXPECT_NE(vm_, nullptr);
    EXPECT_NE(env_, nullptr);
    std::vector<std::string> expected = {
        "msvcr71 attach " + narrow(dir_ + L"\\msvcr71.dll"),
        "jvm attach " + narrow(jvmPath_),
        "create version=0x00010004 nOptions=7 ignoreUnrecognized=1",
        "option code page=1252",
        "option[0]=-Djava.class.path=a.jar;b",
        "decoded[0]=-Djava.class.path=a.jar;b",
        "option[1]=-Xmx64m",
        "decoded[1]=-Xmx64m",
        "option[2]=-Dk.cr=x\\ry",
        "decoded[2]=-Dk.cr=x\\ry",
        "option[3]=-Dk.lf=x\\ny",
        "decoded[3]=-Dk.lf=x\\ny",
        "option[4]=-Dk.name=caf\xc3\xa9",
        "decoded[4]=-Dk.name=caf\xc3\x83\xc2\xa9",
        "option[5]=-Dk.empty=",
        "decoded[5]=-Dk.empty=",
        "option[6]=-Dk.tab=\t",
        "decoded[6]=-Dk.tab=\t",
        "cwd=" + narrow(std::wstring(cwd, n)),
        "create result=0",
    };
    EXPECT_EQ(lines(), expected);
}

// The UTF-8 bytes of "é" as each version reads them: in the system locale's legacy code page
// (Russian's 1251: "Г©"; Hindi's none, which is UTF-8), else in the ANSI code page (1252: "Ã©").
TEST_F(StandinJvm, OptionsAreDecodedAsTheRuntimesVersionDecodesThem) {
    ASSERT_EQ(GetACP(), 1252u);
    const char *legacy = "\xd0\x93\xc2\xa9", *acp = "\xc3\x83\xc2\xa9";
    const char* const rows[][3] = {{"8", "0419", legacy},      {"11.0.16", "0419", legacy}, {"11.0.17", "0419", acp},
                                   {"17.0.4", "0419", legacy}, {"17.0.5", "0419", acp},     {"18", "0419", legacy},
                                   {"19", "0419", acp},        {"8", "0439", "\xc3\xa9"}};
    for (const auto& row : rows) {
        SetEnvironmentVariableA("KORVO_STANDIN_JAVA", row[0]);
        SetEnvironmentVariableA("KORVO_STANDIN_SYSTEM_LOCALE", row[1]);
        create({std::string("-Dk") + row[0] + "=\xc3\xa9"});
        EXPECT_TRUE(traced(std::string("decoded[0]=-Dk") + row[0] + "=" + row[2])) << row[0] << " " << row[1];
    }
}

TEST_F(StandinJvm, TraceFileIsTakenFromTheEnvironmentWhenCreating) {
    SetEnvironmentVariableW(L"KORVO_STANDIN_TRACE", nullptr);
    loadJvm();
    SetEnvironmentVariableW(L"KORVO_STANDIN_TRACE", trace_.c_str());
    ASSERT_EQ(create({"-Xmx1m"}, JNI_VERSION_1_2), JNI_OK);
    auto all = lines();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front(), "create version=0x00010002 nOptions=1 ignoreUnrecognized=1");
    EXPECT_EQ(all.back(), "create result=0");
}

TEST_F(StandinJvm, CreateFailsAsConfiguredThenOnlyOnce) {
    SetEnvironmentVariableW(L"KORVO_STANDIN_MODE", L"fail-create");
    EXPECT_EQ(create({"-Xmx1m"}), JNI_ERR);
    EXPECT_EQ(vm_, nullptr);
    EXPECT_EQ(env_, nullptr);
    SetEnvironmentVariableW(L"KORVO_STANDIN_MODE", L"no-main, fail-create=-6");
    EXPECT_EQ(create({"-Xmx1m"}), JNI_EINVAL);
    SetEnvironmentVariableW(L"KORVO_STANDIN_MODE", nullptr);
    EXPECT_EQ(create({"-Xmx1m"}, 0x00020000), JNI_EVERSION);
    EXPECT_EQ(vm_, nullptr);
    EXPECT_EQ(create({"-Xmx1m"}), JNI_OK);
    EXPECT_NE(vm_, nullptr);
    EXPECT_EQ(create({"-Xmx1m"}), JNI_EEXIST);

    std::vector<std::string> results;
    for (const std::string& line : lines())
        if (line.rfind("create result=", 0) == 0) results.push_back(line);
    EXPECT_EQ(results, (std::vector<std::string>{"create result=-1", "create result=-6",
                                                  "create result=-3", "create result=0",
                                                  "create result=-5"}));
}

TEST_F(StandinJvm, ClassIsFoundOnlyThroughTheArchiveOrFolderThatHoldsIt) {
    std::string korvoJar = ansi(jarFile(L"Korvo.jar"));
    std::string otherJar = ansi(jarFile(L"other.jar"));
    std::wstring folder = dir_ + L"\\klassen-\u00e9";
    ASSERT_TRUE(makeDirs(folder + L"\\org\\demo"));
    writeFile(folder + L"\\org\\demo\\Tool.class", "\xCA\xFE\xBA\xBE");
    writeFile(dir_ + L"\\Escape.class", "\xCA\xFE\xBA\xBE");
    std::string folderEntry = ansi(folder);
    std::string missing = ansi(dir_ + L"\\missing.jar");
    ASSERT_EQ(createWithClassPath(otherJar + ";" + missing + ";;" + korvoJar + ";" + folderEntry),
              JNI_OK);

    EXPECT_NE(env_->FindClass(kMainClass), nullptr);
    EXPECT_NE(env_->FindClass("com/example/Other"), nullptr);
    EXPECT_NE(env_->FindClass("org/demo/Tool"), nullptr);
    EXPECT_EQ(describePending(), "<none>");
    EXPECT_TRUE(traced("FindClass com/qzm/korvo/Korvo -> found " + korvoJar));
    EXPECT_TRUE(traced("FindClass com/example/Other -> found " + otherJar));
    EXPECT_TRUE(traced("FindClass org/demo/Tool -> found " + folderEntry));

    // Near misses: prefixes, a package, the dotted form, a directory entry, an escape.
    for (const char* name : {"com/qzm/korvo/Korv", "com/qzm/korvo", "com.qzm.korvo.Korvo",
                             "com/qzm/korvo/Korvo.class", "org/demo", "../Escape",
                             "org/../../Escape", "/org/demo/Tool", "com/qzm/korvo/korvo"}) {
        EXPECT_EQ(env_->FindClass(name), nullptr) << name;
        EXPECT_TRUE(traced(std::string("FindClass ") + name + " -> null")) << name;
        EXPECT_EQ(describePending(), std::string("java.lang.NoClassDefFoundError: ") + name);
    }
}

TEST_F(StandinJvm, MissingClassLeavesNoClassDefFoundErrorPending) {
    std::string otherJar = ansi(jarFile(L"other.jar"));
    // The last class path option counts, as in the runtime.
    ASSERT_EQ(create({"-Djava.class.path=" + ansi(jarFile(L"Korvo.jar")),
                      "-Djava.class.path=" + otherJar}),
              JNI_OK);
    EXPECT_EQ(env_->FindClass(kMainClass), nullptr);
    EXPECT_NE(env_->ExceptionOccurred(), nullptr);
    env_->ExceptionDescribe();
    EXPECT_EQ(env_->ExceptionOccurred(), nullptr);
    EXPECT_EQ(linesFrom("FindClass com/qzm/korvo/Korvo -> null"),
              (std::vector<std::string>{
                  "FindClass com/qzm/korvo/Korvo -> null",
                  "ExceptionOccurred -> 1",
                  "ExceptionDescribe java.lang.NoClassDefFoundError: com/qzm/korvo/Korvo",
                  "ExceptionOccurred -> 0",
              }));
}

// Damaged copies of Korvo.jar must read as "not there" without harm; the intact copy last on
// the class path proves the search went on past them.
TEST_F(StandinJvm, DamagedArchivesAreSkippedSafely) {
    const std::string jar = readFile(jarFile(L"Korvo.jar"));
    ASSERT_GT(jar.size(), 100u);
    const size_t eocd = jar.rfind(std::string("PK\x05\x06", 4));
    ASSERT_NE(eocd, std::string::npos);
    ASSERT_EQ(eocd + 22, jar.size());
    auto put32 = [](std::string& s, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const size_t cdOffset = static_cast<unsigned char>(jar[eocd + 16]) |
                            (static_cast<unsigned char>(jar[eocd + 17]) << 8) |
                            (static_cast<unsigned char>(jar[eocd + 18]) << 16) |
                            (static_cast<size_t>(static_cast<unsigned char>(jar[eocd + 19])) << 24);
    ASSERT_LT(cdOffset, eocd);
    const size_t cdName = jar.find("com/qzm/korvo/Korvo.class", cdOffset);
    ASSERT_NE(cdName, std::string::npos);

    std::vector<std::pair<std::wstring, std::string>> damaged;
    damaged.push_back({L"empty.jar", ""});
    damaged.push_back({L"short.jar", jar.substr(eocd)});
    damaged.push_back({L"truncated.jar", jar.substr(0, jar.size() - 10)});
    damaged.push_back({L"head.jar", jar.substr(0, cdOffset)});
    std::string s = jar;
    put32(s, eocd + 16, 0xFFFFFFF0u);
    damaged.push_back({L"offset.jar", s});
    s = jar;
    put32(s, eocd + 12, static_cast<uint32_t>(jar.size()));
    damaged.push_back({L"size.jar", s});
    s = jar;
    for (size_t at = jar.find(std::string("PK\x01\x02", 4), cdOffset); at != std::string::npos && at < eocd;
         at = jar.find(std::string("PK\x01\x02", 4), at + 4)) {
        s[at + 28] = '\xFF';  // every name runs far past the directory
        s[at + 29] = '\xFF';
    }
    damaged.push_back({L"names.jar", s});
    s = jar;
    s[cdName + 14] = 'k';  // only the central directory counts, not the local header
    damaged.push_back({L"renamed.jar", s});
    s = jar;
    s[eocd + 20] = '\x30';  // comment length 48 with only 10 bytes present
    s += "0123456789";
    damaged.push_back({L"comment.jar", s});

    std::string classPath;
    for (const auto& d : damaged) {
        writeFile(dir_ + L"\\" + d.first, d.second);
        classPath += ansi(dir_ + L"\\" + d.first) + ";";
    }
    // An archive with a genuine trailing comment is still read.
    s = jar;
    s[eocd + 20] = '\x05';
    s += "hello";
    writeFile(dir_ + L"\\commented.jar", s);
    std::string good = ansi(dir_ + L"\\commented.jar");
    ASSERT_EQ(createWithClassPath(classPath + good), JNI_OK);
    EXPECT_NE(env_->FindClass(kMainClass), nullptr);
    EXPECT_TRUE(traced("FindClass com/qzm/korvo/Korvo -> found " + good));
}

TEST_F(StandinJvm, MainMethodAndStringClass) {
    ASSERT_EQ(createWithClassPath(ansi(jarFile(L"Korvo.jar")) + ";" + ansi(jarFile(L"other.jar"))),
              JNI_OK);
    jclass cls = mainClass();
    jclass other = env_->FindClass("com/example/Other");
    ASSERT_NE(other, nullptr);
    EXPECT_NE(env_->GetStaticMethodID(cls, "main", kMainSig), nullptr);
    EXPECT_EQ(env_->GetStaticMethodID(cls, "main", "([Ljava/lang/String;)I"), nullptr);
    EXPECT_EQ(describePending(), "java.lang.NoSuchMethodError: main");
    EXPECT_EQ(env_->GetStaticMethodID(other, "main", kMainSig), nullptr);
    EXPECT_EQ(describePending(), "java.lang.NoSuchMethodError: main");
    EXPECT_NE(env_->FindClass("java/lang/String"), nullptr);
    EXPECT_TRUE(traced("GetStaticMethodID main ([Ljava/lang/String;)V -> ok"));
    EXPECT_TRUE(traced("GetStaticMethodID main ([Ljava/lang/String;)I -> null"));
    EXPECT_TRUE(traced("FindClass java/lang/String -> found <boot>"));
}

TEST_F(StandinJvm, NoMainAndNoStringModes) {
    SetEnvironmentVariableW(L"KORVO_STANDIN_MODE", L"no-main,no-string");
    ASSERT_EQ(createWithClassPath(ansi(jarFile(L"Korvo.jar"))), JNI_OK);
    jclass cls = mainClass();
    EXPECT_EQ(env_->GetStaticMethodID(cls, "main", kMainSig), nullptr);
    EXPECT_EQ(describePending(), "java.lang.NoSuchMethodError: main");
    EXPECT_EQ(env_->FindClass("java/lang/String"), nullptr);
    EXPECT_EQ(describePending(), "java.lang.NoClassDefFoundError: java/lang/String");
    EXPECT_TRUE(traced("GetStaticMethodID main ([Ljava/lang/String;)V -> null"));
    EXPECT_TRUE(traced("FindClass java/lang/String -> null"));
}

TEST_F(StandinJvm, ArgumentsRoundTripExactly) {
    ASSERT_EQ(createWithClassPath(ansi(jarFile(L"Korvo.jar"))), JNI_OK);
    jclass cls = mainClass();
    jmethodID main = env_->GetStaticMethodID(cls, "main", kMainSig);
    ASSERT_NE(main, nullptr);
    jclass string = env_->FindClass("java/lang/String");
    ASSERT_NE(string, nullptr);

    const std::u16string wide[] = {u"--plain", u"caf\u00e9 \u4e2d", u"\U0001F600", u"", u"a\nb"};
    jobjectArray args = env_->NewObjectArray(9, string, nullptr);
    ASSERT_NE(args, nullptr);
    jsize i = 0;
    for (const std::u16string& w : wide) {
        jstring s = env_->NewString(reinterpret_cast<const jchar*>(w.data()),
                                    static_cast<jsize>(w.size()));
        ASSERT_NE(s, nullptr);
        env_->SetObjectArrayElement(args, i++, s);
    }
    // Modified UTF-8; a 4-byte standard sequence is not decoded, byte by byte instead.
    env_->SetObjectArrayElement(args, i++, env_->NewStringUTF("\xc3\xa9\xe2\x82\xac!"));
    env_->SetObjectArrayElement(args, i++, env_->NewStringUTF("\xf0\x9f\x98\x80"));
    jstring none = env_->NewStringUTF(nullptr);
    EXPECT_EQ(none, nullptr);
    env_->SetObjectArrayElement(args, i++, none);
    // Element 8 is left unset.
    callMain(cls, main, args);
    EXPECT_EQ(env_->ExceptionOccurred(), nullptr);
    EXPECT_EQ(vm_->DestroyJavaVM(), JNI_OK);

    EXPECT_EQ(linesFrom("NewObjectArray length=9"),
              (std::vector<std::string>{
                  "NewObjectArray length=9",
                  "NewStringUTF <null>",
                  "main args=9",
                  "arg[0]=--plain", "arghex[0]=002d002d0070006c00610069006e",
                  "arg[1]=caf\xc3\xa9 \xe4\xb8\xad", "arghex[1]=00630061006600e900204e2d",
                  "arg[2]=\xf0\x9f\x98\x80", "arghex[2]=d83dde00",
                  "arg[3]=", "arghex[3]=",
                  "arg[4]=a\\nb", "arghex[4]=0061000a0062",
                  "arg[5]=\xc3\xa9\xe2\x82\xac!", "arghex[5]=00e920ac0021",
                  "arg[6]=\xc3\xb0\xc2\x9f\xc2\x98\xc2\x80", "arghex[6]=00f0009f00980080",
                  "arg[7]=<null>", "arghex[7]=<null>",
                  "arg[8]=<null>", "arghex[8]=<null>",
                  "main returned",
                  "ExceptionOccurred -> 0",
                  "DestroyJavaVM waiting for 0 thread(s)",
                  "DestroyJavaVM returned",
              }));
}

TEST_F(StandinJvm, ArrayIndexIsBoundsChecked) {
    ASSERT_EQ(createWithClassPath(ansi(jarFile(L"Korvo.jar"))), JNI_OK);
    jclass string = env_->FindClass("java/lang/String");
    jobjectArray args = env_->NewObjectArray(2, string, nullptr);
    ASSERT_NE(args, nullptr);
    jstring s = env_->NewStringUTF("x");
    env_->SetObjectArrayElement(args, 2, s);
    EXPECT_EQ(describePending(), "java.lang.ArrayIndexOutOfBoundsException: Index 2 out of bounds for length 2");
    env_->SetObjectArrayElement(args, -1, s);
    EXPECT_EQ(describePending(), "java.lang.ArrayIndexOutOfBoundsException: Index -1 out of bounds for length 2");
    EXPECT_TRUE(traced("SetObjectArrayElement index=2 length=2 -> java.lang.ArrayIndexOutOfBoundsException"));
    EXPECT_TRUE(traced("SetObjectArrayElement index=-1 length=2 -> java.lang.ArrayIndexOutOfBoundsException"));
    EXPECT_EQ(env_->NewObjectArray(-1, string, nullptr), nullptr);
    EXPECT_EQ(describePending(), "java.lang.NegativeArraySizeException: -1");
}

TEST_F(StandinJvm, ThrowingMainLeavesRuntimeExceptionPending) {
    SetEnvironmentVariableW(L"KORVO_STANDIN_MODE", L"throw");
    ASSERT_EQ(createWithClassPath(ansi(jarFile(L"Korvo.jar"))), JNI_OK);
    jclass cls = mainClass();
    jmethodID main = env_->GetStaticMethodID(cls, "main", kMainSig);
    jobjectArray args = env_->NewObjectArray(0, env_->FindClass("java/lang/String"), nullptr);
    callMain(cls, main, args);
    EXPECT_EQ(describePending(), "java.lang.RuntimeException: thrown by the stand-in main");
    EXPECT_EQ(linesFrom("main args=0"),
              (std::vector<std::string>{
                  "main args=0",
                  "main threw java.lang.RuntimeException",
                  "ExceptionOccurred -> 1",
                  "ExceptionDescribe java.lang.RuntimeException: thrown by the stand-in main",
              }));
}

// Waits up to five seconds for `done`.
bool eventually(const std::atomic<bool>& done) {
    for (int i = 0; i < 250 && !done; ++i) Sleep(20);
    return done;
}

TEST_F(StandinJvm, BlockingMainReturnsOnlyAfterRelease) {
    SetEnvironmentVariableW(L"KORVO_STANDIN_MODE", L"block");
    ASSERT_EQ(createWithClassPath(ansi(jarFile(L"Korvo.jar"))), JNI_OK);
    jclass cls = mainClass();
    jmethodID main = env_->GetStaticMethodID(cls, "main", kMainSig);
    jobjectArray args = env_->NewObjectArray(0, env_->FindClass("java/lang/String"), nullptr);
    std::atomic<bool> returned{false};
    std::thread caller([&] {
        callMain(cls, main, args);
        returned = true;
    });
    Sleep(300);
    EXPECT_FALSE(returned);
    EXPECT_FALSE(traced("main returned"));
    writeFile(release_, "");
    EXPECT_TRUE(eventually(returned));
    caller.join();
    EXPECT_TRUE(traced("main returned"));
}

TEST_F(StandinJvm, DestroyWaitsForTheNonDaemonThread) {
    SetEnvironmentVariableW(L"KORVO_STANDIN_MODE", L"thread");
    ASSERT_EQ(createWithClassPath(ansi(jarFile(L"Korvo.jar"))), JNI_OK);
    jclass cls = mainClass();
    jmethodID main = env_->GetStaticMethodID(cls, "main", kMainSig);
    jobjectArray args = env_->NewObjectArray(0, env_->FindClass("java/lang/String"), nullptr);
    callMain(cls, main, args);
    EXPECT_TRUE(traced("main returned"));

    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        EXPECT_EQ(vm_->DestroyJavaVM(), JNI_OK);
        destroyed = true;
    });
    Sleep(300);
    EXPECT_FALSE(destroyed);
    EXPECT_TRUE(traced("DestroyJavaVM waiting for 1 thread(s)"));
    EXPECT_FALSE(traced("DestroyJavaVM returned"));
    writeFile(release_, "");
    EXPECT_TRUE(eventually(destroyed));
    destroyer.join();
    EXPECT_TRUE(traced("DestroyJavaVM returned"));
}

TEST_F(StandinJvm, FatalErrorEndsTheProcess) {
    ASSERT_EQ(createWithClassPath(ansi(jarFile(L"Korvo.jar"))), JNI_OK);
    std::wstring childDir = dir_ + L"-child";
    SetEnvironmentVariableW(L"KORVO_STANDIN_CHILD_DIR", childDir.c_str());
    EXPECT_EXIT(env_->FatalError("out of luck"), ::testing::ExitedWithCode(134),
                "FATAL ERROR in native method: out of luck");
    SetEnvironmentVariableW(L"KORVO_STANDIN_CHILD_DIR", nullptr);
    EXPECT_FALSE(traced("FatalError out of luck"));  // the child, not this process
    auto child = splitLines(readFile(childDir + L"\\trace.txt"));
    EXPECT_EQ(child.empty() ? std::string() : child.back(), "FatalError out of luck");
    removeTree(childDir);
}

TEST_F(StandinJvm, CompanionDllsReportBeingLoaded) {
    std::wstring mark = dir_ + L"\\mark.txt";
    SetEnvironmentVariableW(L"KORVO_PLANTED_MARK", mark.c_str());
    HMODULE msvcr71 = loadCopy(standinFile(L"msvcr71.dll"), L"msvcr71.dll");
    ASSERT_NE(msvcr71, nullptr);
    // Wine has its own msvcr71 and prefers it even for a full path unless told otherwise.
    ASSERT_NE(GetProcAddress(msvcr71, "KorvoStandinMsvcr71"), nullptr)
        << "another msvcr71.dll was loaded; under Wine set WINEDLLOVERRIDES=msvcr71=n";
    ASSERT_NE(loadCopy(standinFile(L"planted.dll"), L"helper.dll"), nullptr);
    std::string planted = "PLANTED " + narrow(dir_ + L"\\helper.dll");
    EXPECT_EQ(lines(), (std::vector<std::string>{"msvcr71 attach " + narrow(dir_ + L"\\msvcr71.dll"),
                                                 planted}));
    EXPECT_EQ(splitLines(readFile(mark)), std::vector<std::string>{planted});
}

}  // namespace
