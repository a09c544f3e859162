// libFuzzer target for the launcher's pure text functions, built for the build machine with
// address and undefined-behaviour checks. Each input is cut into texts and numbers; every
// function gets them and its result is checked against properties that hold for any input.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/logs_folder.h"
#include "base/report.h"
#include "base/trace.h"
#include "base/wide_path.h"
#include "config/class_path.h"
#include "config/host_env.h"
#include "config/path_text.h"
#include "config/policy.h"
#include "vm/create.h"

namespace {

[[noreturn]] void failed(const char* what, int line) {
    std::fprintf(stderr, "property failed (text_fuzz.cpp:%d): %s\n", line, what);
    std::abort();
}
#define CHECK(condition) \
    do {                 \
        if (!(condition)) failed(#condition, __LINE__); \
    } while (0)

size_t count(const std::string& text, char c) { return static_cast<size_t>(std::count(text.begin(), text.end(), c)); }

bool startsWith(const std::string& text, const std::string& head) {
    return text.size() >= head.size() && text.compare(0, head.size(), head) == 0;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// What a C-string parameter sees of a text: everything before its first zero byte.
std::string cText(const std::string& text) { return std::string(text.c_str()); }

// The fuzzer's code page is 932 (the shim's lead bytes): a lead byte with a byte after it starts
// a two-byte character, whose second byte may look like "\\", " ", "#" or any other letter.
bool leadByte(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 0x81 && u <= 0x9F) || (u >= 0xE0 && u <= 0xFC);
}

// For each byte: true when it is a character of its own, not part of a two-byte one.
std::vector<bool> singleBytes(const std::string& text) {
    std::vector<bool> single(text.size(), false);
    for (size_t i = 0; i < text.size(); ++i) {
        if (leadByte(text[i]) && i + 1 < text.size()) {
            ++i;
        } else {
            single[i] = true;
        }
    }
    return single;
}

void checkEscapeCodeBase(const std::string& in) {
    std::string out = in;
    escapeCodeBase(out);
    const std::vector<bool> single = singleBytes(in);
    size_t escapes = 0;
    for (size_t i = 0; i < in.size(); ++i)
        if (single[i] && (in[i] == ' ' || in[i] == '%' || in[i] == '#' || in[i] == '?')) ++escapes;
    CHECK(out.size() == in.size() + 2 * escapes);
    // Decoding the four escapes gives the text back, with slashes for the backslashes that are
    // characters of their own; two-byte characters pass unchanged.
    std::string decoded;
    const std::vector<bool> outSingle = singleBytes(out);
    for (size_t i = 0; i < out.size(); ++i) {
        if (!outSingle[i]) {
            decoded += out[i];
            if (i + 1 < out.size()) decoded += out[++i];
            continue;
        }
        CHECK(out[i] != '\\' && out[i] != ' ' && out[i] != '#' && out[i] != '?');
        if (out[i] == '%') {
            CHECK(i + 2 < out.size());
            const std::string code = out.substr(i + 1, 2);
            CHECK(code == "20" || code == "23" || code == "25" || code == "3F");
            decoded += code == "20" ? ' ' : code == "23" ? '#' : code == "3F" ? '?' : '%';
            i += 2;
        } else {
            decoded += out[i];
        }
    }
    std::string slashed = in;
    for (size_t i = 0; i < slashed.size(); ++i)
        if (single[i] && slashed[i] == '\\') slashed[i] = '/';
    CHECK(decoded == slashed);
}

void checkCleanSearchPath(const std::string& raw) {
    const std::string in = cText(raw);
    const std::string out = cleanSearchPath(raw.c_str());
    CHECK(out.find('"') == std::string::npos);
    // Only backslashes that are characters of their own go: the second byte of "\x95\x5C" stays.
    const std::vector<bool> single = singleBytes(in);
    size_t trailing = 0;
    while (trailing < in.size() && in[in.size() - 1 - trailing] == '\\' && single[in.size() - 1 - trailing])
        ++trailing;
    CHECK(out.size() == in.size() - trailing);
    CHECK(out.empty() || out.back() != '\\' || !singleBytes(out).back());
    // Quotes turn into blanks; every other byte stays where it was.
    for (size_t i = 0; i < out.size(); ++i) CHECK(out[i] == (in[i] == '"' ? ' ' : in[i]));
    CHECK(count(out, ' ') == count(in.substr(0, out.size()), ' ') + count(in.substr(0, out.size()), '"'));
}

void checkPolicyFileText(const std::string& app, const std::string& quickTime) {
    static const std::string empty = policyFileText("", "");
    static const size_t appAt = empty.find("\"file:/") + 7;
    static const size_t quickTimeAt = empty.find("\"file:/", appAt) + 7;
    CHECK(empty.size() == 233);
    // A share's code base ("//server/...") gets one more slash, so the URL keeps its server.
    const std::string appUrl = (startsWith(app, "//") ? "/" : "") + app;
    const std::string quickTimeUrl = (startsWith(quickTime, "//") ? "/" : "") + quickTime;
    const std::string text = policyFileText(app, quickTime);
    CHECK(text.size() == 233 + appUrl.size() + quickTimeUrl.size());
    CHECK(text.compare(0, appAt, empty, 0, appAt) == 0);
    CHECK(text.compare(appAt, appUrl.size(), appUrl) == 0);
    CHECK(text.compare(appAt + appUrl.size(), quickTimeAt - appAt, empty, appAt, quickTimeAt - appAt) == 0);
    CHECK(text.compare(quickTimeAt + appUrl.size(), quickTimeUrl.size(), quickTimeUrl) == 0);
    CHECK(text.compare(quickTimeAt + appUrl.size() + quickTimeUrl.size(), std::string::npos, empty, quickTimeAt,
                       std::string::npos) == 0);
    // Escaped code bases hold no line breaks, and then the file has its nine CR LF lines.
    std::string escapedApp = app, escapedQuickTime = quickTime;
    escapeCodeBase(escapedApp);
    escapeCodeBase(escapedQuickTime);
    if (escapedApp.find_first_of("\r\n") == std::string::npos &&
        escapedQuickTime.find_first_of("\r\n") == std::string::npos) {
        const std::string file = policyFileText(escapedApp, escapedQuickTime);
        CHECK(count(file, '\n') == 9 && count(file, '\r') == 9);
        size_t at = 0, lines = 0;
        while ((at = file.find("\r\n", at)) != std::string::npos) at += 2, ++lines;
        CHECK(lines == 9);
        CHECK(endsWith(file, "\r\n"));
    }
}

void checkPathOptions(const std::string& app, const std::string& search, const std::string& quickTime,
                      const std::string& home, bool homeGiven) {
    const std::string library = libraryPathOptionText(app, search, quickTime);
    CHECK(library.size() == 28 + app.size() + search.size() + quickTime.size());
    CHECK(startsWith(library, "-Djava.library.path=.;" + app + "\\lib;"));
    CHECK(endsWith(library, ";" + quickTime));
    CHECK(library.compare(22 + app.size() + 5, search.size(), search) == 0);

    const std::string homeSeen = homeGiven ? cText(home) : std::string();
    const std::string classPath = classPathHeadText(app, quickTime, homeGiven ? home.c_str() : nullptr);
    CHECK(classPath.size() == 41 + app.size() + quickTime.size() + homeSeen.size());
    CHECK(startsWith(classPath, "-Djava.class.path=" + app + "\\Korvo.jar;" + quickTime + "QTJava.zip;"));
    CHECK(endsWith(classPath, homeSeen + ";"));
}

void checkTimeStamp(const std::tm& when) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::string stamp = formatTimeStamp(when);
    CHECK(stamp.size() == 24);
    CHECK(stamp[3] == ' ' && stamp[7] == ' ' && stamp[10] == ' ' && stamp[19] == ' ');
    CHECK(stamp[13] == ':' && stamp[16] == ':');
    for (size_t i : {8u, 9u, 11u, 12u, 14u, 15u, 17u, 18u, 20u, 21u, 22u, 23u})
        CHECK(stamp[i] >= '0' && stamp[i] <= '9');
    CHECK(std::any_of(std::begin(kDays), std::end(kDays), [&](const char* d) { return stamp.compare(0, 3, d) == 0; }));
    CHECK(std::any_of(std::begin(kMonths), std::end(kMonths),
                      [&](const char* m) { return stamp.compare(4, 3, m) == 0; }));
    // Fields that fit are written as they are.
    auto two = [&](size_t at) { return (stamp[at] - '0') * 10 + (stamp[at + 1] - '0'); };
    if (when.tm_wday >= 0 && when.tm_wday < 7) CHECK(stamp.compare(0, 3, kDays[when.tm_wday]) == 0);
    if (when.tm_mon >= 0 && when.tm_mon < 12) CHECK(stamp.compare(4, 3, kMonths[when.tm_mon]) == 0);
    if (when.tm_mday >= 0 && when.tm_mday < 100) CHECK(two(8) == when.tm_mday);
    if (when.tm_hour >= 0 && when.tm_hour < 100) CHECK(two(11) == when.tm_hour);
    if (when.tm_min >= 0 && when.tm_min < 100) CHECK(two(14) == when.tm_min);
    if (when.tm_sec >= 0 && when.tm_sec < 100) CHECK(two(17) == when.tm_sec);
    if (when.tm_year >= -1900 && when.tm_year < 10000 - 1900)
        CHECK(two(20) * 100 + two(22) == when.tm_year + 1900);
}

void checkLogRecord(const std::string& stamp, const std::string& text) {
    const std::string record = formatLogRecord(stamp, text);
    CHECK(record.size() == stamp.size() + text.size() + 50);
    CHECK(startsWith(record, "\r\n##### " + stamp + "\r\n\r\n"));
    CHECK(record.compare(8 + stamp.size() + 4, text.size(), text) == 0);
    CHECK(endsWith(record, "\r\n\r\n##############################\r\n\r\n"));
}

void checkLooksLikeArchive(const std::string& path, const std::string& other) {
    const bool archive = looksLikeArchive(path);
    if (archive) CHECK(looksLikeArchive(other + path) && looksLikeArchive(path + other));
    CHECK(looksLikeArchive(path + ".jar") && looksLikeArchive(".zip" + path));
    // The test is case-sensitive: no upper-case text looks like an archive.
    std::string upper = path;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    CHECK(!looksLikeArchive(upper));
    // Cutting a text in two never makes an archive name out of nothing.
    const size_t cut = other.size() % (path.size() + 1);
    if (!archive) CHECK(!looksLikeArchive(path.substr(0, cut)) && !looksLikeArchive(path.substr(cut)));
}

void checkProfileTexts(const std::string& profile, bool given);

// The profile texts again at the lengths around the session log's 1023-character limit.
void checkProfileLimits(const std::string& profile) {
    const std::string seen = cText(profile);
    const char filler = seen.empty() ? 'p' : seen.back();
    for (size_t length = 994; length <= 998; ++length) {
        std::string near = seen.substr(0, length);
        near.resize(length, filler);
        checkProfileTexts(near, true);
    }
}

void checkProfileTexts(const std::string& profile, bool given) {
    const std::string seen = given ? cText(profile) : std::string();
    const std::string option = errorFileOptionText(given ? profile.c_str() : nullptr);
    CHECK(option == "-XX:ErrorFile=" + seen + "\\Logs\\Korvo.exe_error%p.log");
    CHECK(option.size() == 41 + seen.size());

    std::wstring logsDir = L"untouched", logFile = L"untouched";
    const std::wstring wideSeen(seen.begin(), seen.end());
    const bool usable = sessionLogPaths(wideSeen, logsDir, logFile);
    const std::wstring expectedFile = wideSeen + L"\\Logs\\Korvo Session Log.txt";
    CHECK(usable == (!seen.empty() && expectedFile.size() <= 1023));
    if (usable) {
        CHECK(logsDir == wideSeen + L"\\Logs");
        CHECK(logFile == expectedFile);
    } else {
        CHECK(logsDir == L"untouched" && logFile == L"untouched");
    }

    const std::string quickTime = quickTimeFallbackDir(given ? profile.c_str() : nullptr);
    CHECK(quickTime == seen + "\\QuickTime\\QTSystem\\");
}

void checkErrorTexts(unsigned long code, const std::string& message, bool fatal) {
    const std::string text = unknownErrorText(code);
    unsigned long decimal = 0, hex = 0;
    int used = 0;
    CHECK(std::sscanf(text.c_str(), "Windows error %lu (0x%8lx)%n", &decimal, &hex, &used) == 2);
    CHECK(static_cast<size_t>(used) == text.size());
    CHECK(decimal == code && hex == (code & 0xFFFFFFFFul));
    CHECK(text.compare(text.size() - 12, 3, "(0x") == 0);

    const std::string composed = composeLaunchErrorText(message.c_str(), fatal);
    CHECK(composed == (fatal ? "Fatal Error Launching: " : "Error Launching: ") + cText(message));
    CHECK(composeLaunchErrorText(nullptr, fatal) == (fatal ? "Fatal Error Launching: " : "Error Launching: "));
}

std::tm timeFields(FuzzedDataProvider& data) {
    std::tm when = {};
    int* fields[] = {&when.tm_sec, &when.tm_min, &when.tm_hour, &when.tm_mday,
                     &when.tm_mon, &when.tm_year, &when.tm_wday, &when.tm_yday};
    for (int* field : fields) *field = data.ConsumeIntegral<int>();
    return when;
}

}  // namespace

// The shim's code page for the scope, 932 again afterwards.
struct CodePage {
    explicit CodePage(UINT codePage) { shimAnsiCodePage = codePage; }
    ~CodePage() { shimAnsiCodePage = 932; }
};

// Windows' "Use Unicode UTF-8 for worldwide language support" makes the ANSI code page UTF-8,
// where the conversion takes no flag but WC_ERR_INVALID_CHARS and no default character. Only ASCII
// counts as held (older runtimes read the options in another code page); a path with anything else
// and no short form (the shim has none) goes on as its UTF-8 bytes, in the policy URL as escapes.
void checkUtf8Conversion(const std::wstring& text) {
    const CodePage utf8(CP_UTF8);
    bool lone = false;
    size_t utf8Length = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        const unsigned long c = static_cast<unsigned long>(text[at]);
        if (c >= 0xD800 && c <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF) {
            utf8Length += 4;
            ++at;
        } else {
            lone = lone || (c >= 0xD800 && c <= 0xDFFF);
            utf8Length += c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        }
    }
    std::string ansi = "untouched";
    CHECK(exactAnsi(text, ansi) == (utf8Length == text.size()));
    if (lone) CHECK(ansi == "untouched");
    const std::string named = ansiPathOrNothing(text);
    if (!lone) CHECK(named.size() == utf8Length);
    if (lone) CHECK(named.find('?') != std::string::npos);
    for (const char c : fileUrlPath(text)) CHECK(static_cast<unsigned char>(c) < 0x80);
}

// The conversion rows, by the rules Windows enforces; the expected bytes are UTF-8 as written.
void checkConversionRows() {
    {
        const CodePage utf8(CP_UTF8);
        std::string ansi;
        CHECK(exactAnsi(L"C:\\Apps\\Korvo", ansi) && ansi == "C:\\Apps\\Korvo");
        CHECK(ansiPath(L"C:\\Users\\\u0141ukasz \u738b", ansi) && ansi == "C:\\Users\\\xC5\x81ukasz \xE7\x8E\x8B");
        CHECK(!exactAnsiName(L"Jos\u00e9.jar", ansi) && exactAnsiName(L"a b.jar", ansi) && ansi == "a b.jar");
        CHECK(!exactAnsi(L"C:\\a\xD83D", ansi));
        CHECK(ansiPathOrNothing(L"C:\\a\xD83D\\\u0141") == "C:\\a?\\\xC5\x81");
        CHECK(fileUrlPath(L"C:\\a\xD83D\\\u0141 b") == "C:/a%3F/%C5%81%20b");
        CHECK(ansiPathOrNothing(L"\\\\?\\C:\\\u0141") == "C:\\\xC5\x81");
    }
    {
        // A conversion whose second call fails after the first sized it: nothing passes for a path.
        const CodePage western(1252);
        std::string ansi = "untouched";
        shimConvertingCallsFail = true;
        CHECK(!exactAnsi(L"C:\\Apps", ansi) && ansi == "untouched");
        CHECK(ansiPathOrNothing(L"C:\\Apps") == "???????");
        shimConvertingCallsFail = false;
    }
}

// Switched off (traceStart never runs here), the trace's entry points do no work: the shim ends
// the fuzzer at the first system function one of them reaches (a conversion, a short form).
void checkTraceOffDoesNothing() {
    shimSystemCallsEnd = true;
    const std::wstring path = L"C:\\Users\\\u0141ukasz\\Temp\\Korvo.exe.policy";
    traceLine({"never ", "written"});
    traceEnvironment();
    tracePhase("never");
    CHECK(traceGuard(true, "Korvo.jar") && !traceGuard(false, "Korvo.jar"));
    CHECK(traceExit(3) == 3);
    CHECK(traceCandidate("jvm.dll", "C:\\x", true));
    CHECK(traceLoad("C:\\x.dll", nullptr) == nullptr);
    traceRegistryOpen("SOFTWARE\\Halvesta", nullptr, 2);
    traceRegistryRead(nullptr, "JAVA_HOME", ERROR_SUCCESS, REG_SZ, "C:\\x", 5);
    traceRegistryRead(nullptr, "JAVA_HOME", ERROR_SUCCESS, REG_SZ, path);
    tracePath("policy: file ", path, ": written");
    traceNumber("vm: ", 1);
    traceOption(0, "-Xmx512m");
    CHECK(!traceEnabled());
    shimSystemCallsEnd = false;
}

// Every time field at its extremes and edges, once, before the fuzzing starts.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    checkConversionRows();
    // The smallest header of an i386 image: the machine is 0x014C, read where the header says.
    std::string image(0x46, '\0');
    image.replace(0, 2, "MZ");
    image[0x3C] = 0x40;
    image.replace(0x40, 6, std::string("PE\0\0\x4C\x01", 6));
    unsigned machine = 0;
    CHECK(peMachineType(reinterpret_cast<const unsigned char*>(image.data()), image.size(), machine) &&
          machine == 0x014C);
    checkTraceOffDoesNothing();
    const int edges[] = {INT_MIN, -1901, -1, 0, 7, 12, 59, 99, 100, 8099, 8100, 10000, INT_MAX};
    for (int a : edges)
        for (int b : edges)
            for (int c : edges) {
                std::tm when = {};
                when.tm_sec = when.tm_hour = a;
                when.tm_min = when.tm_mday = b;
                when.tm_year = c;
                when.tm_mon = a;
                when.tm_wday = b;
                checkTimeStamp(when);
                when.tm_year = a;
                when.tm_mon = c;
                checkTimeStamp(when);
            }
    return 0;
}

// File and resource bytes as the trace reads them: never a read outside them (the sanitizer
// sees to that), and what is found is really there.
void checkTraceBytes(const std::string& bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    unsigned machine = 0x10000;
    if (peMachineType(data, bytes.size(), machine)) {
        // The header's offset at 0x3C, little-endian; the machine field follows "PE\0\0" there.
        CHECK(startsWith(bytes, "MZ") && bytes.size() >= 0x40);
        const size_t header = data[0x3C] + 256u * data[0x3D] + 65536u * data[0x3E] + 16777216u * data[0x3F];
        CHECK(header < bytes.size() && bytes.size() - header >= 6);
        CHECK(bytes.compare(header, 4, std::string("PE\0\0", 4)) == 0);
        CHECK(machine == data[header + 4] + 256u * data[header + 5]);
    }
    const std::string version = fixedFileVersion(data, bytes.size());
    CHECK(version.empty() || (count(version, '.') == 3 && version.size() <= 23));
    CHECK(version.empty() || bytes.find("\xBD\x04\xEF\xFE") != std::string::npos);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    const bool flagA = data.ConsumeBool();
    const bool flagB = data.ConsumeBool();
    const unsigned long code = data.ConsumeIntegral<uint32_t>();
    const std::tm when = timeFields(data);
    const std::string a = data.ConsumeRandomLengthString(2048);
    const std::string b = data.ConsumeRandomLengthString(2048);
    const std::string c = data.ConsumeRandomLengthString(2048);
    const std::string d = data.ConsumeRemainingBytesAsString();

    checkEscapeCodeBase(a);
    checkEscapeCodeBase(d);
    checkCleanSearchPath(b);
    checkCleanSearchPath(d);
    checkPolicyFileText(a, b);
    checkPathOptions(a, b, c, d, flagA);
    checkTimeStamp(when);
    checkLogRecord(formatTimeStamp(when), d);
    checkLogRecord(a, b);
    checkLooksLikeArchive(a, b);
    checkLooksLikeArchive(d, c);
    checkProfileTexts(c, flagB);
    checkProfileTexts(d, true);
    checkProfileLimits(c);
    checkErrorTexts(code, a, flagA);
    checkTraceBytes(d);
    // The input's bytes as UTF-16 code units, surrogates and all.
    std::wstring wide;
    for (size_t at = 0; at + 1 < d.size(); at += 2)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(d[at]) | (static_cast<unsigned char>(d[at + 1]) << 8));
    checkUtf8Conversion(wide);
    return 0;
}
