// Benchmarks, printed as figures (never asserted): the launch against its two floors, the
// launcher's own phases from its trace, and the archive scan against a bare folder walk. Runs alternate with their floors so the ratios hold
// on a noisy machine; the lower quartile is the figure, with median and range beside it.
// Usage: korvo_bench [rounds]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/class_path.h"
#include "support/harness.h"

using namespace harness;

namespace {

double nowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Stats {
    double lowerQuartile, median, low, high;
};

Stats summarize(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    return {samples[n / 4], samples[n / 2], samples.front(), samples.back()};
}

void printStats(const char* label, const Stats& s) {
    std::printf("  %-34s %9.2f ms   (median %.2f, range %.2f-%.2f)\n", label, s.lowerQuartile, s.median,
                s.low, s.high);
}

void printAgainst(const char* label, const Stats& subject, const Stats& floor) {
    std::printf("  %-34s %+9.2f ms   x%.3f\n", label, subject.lowerQuartile - floor.lowerQuartile,
                subject.lowerQuartile / floor.lowerQuartile);
}

// Starts a program with the given command line and environment and waits for it; returns the
// wall time in milliseconds, or a negative value when it failed.
double timedRun(const std::string& exe, const std::wstring& arguments, const std::wstring& environment) {
    std::wstring commandLine = L"\"" + utf8ToWide(exe) + L"\" " + arguments;
    std::wstring block = environment;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    const double start = nowMs();
    if (!CreateProcessW(utf8ToWide(exe).c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, &block[0], nullptr, &startup, &info))
        return -1;
    WaitForSingleObject(info.hProcess, INFINITE);
    const double elapsed = nowMs() - start;
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return code == 0 ? elapsed : -static_cast<double>(code) - 1;
}

std::wstring environmentBlock(const Layout& layout, const std::string& extra = "") {
    std::vector<std::string> vars = {"USERPROFILE=" + layout.profile, "TEMP=" + layout.temp,
                                     "PATH=C:\\windows\\system32;C:\\windows",
                                     "ProgramFiles=" + layout.programFiles};
    if (!extra.empty()) vars.push_back(extra);
    for (const char* name : {"SystemRoot", "windir", "WINEPREFIX", "WINEDEBUG", "WINELOADER"}) {
        char value[2048];
        const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
        if (length > 0 && length < sizeof value) vars.push_back(std::string(name) + "=" + value);
    }
    std::sort(vars.begin(), vars.end());
    std::wstring block;
    for (const std::string& var : vars) block += utf8ToWide(var) + L'\0';
    return block + L'\0';
}

void benchLaunch(int rounds) {
    Registry registry;
    const Layout layout = makeLayout("bench-launch");
    installMainJar(layout.appDir);
    const std::string runtime = installPrivateRuntime(layout.root + "\\Maker");
    registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Maker");
    for (int folder = 0; folder < 10; ++folder) {
        const std::string dir = layout.appDir + "\\lib\\group" + std::to_string(folder);
        makeFolders(dir);
        for (int archive = 0; archive < 10; ++archive)
            writeFile(dir + "\\archive" + std::to_string(archive) + ".jar", "");
    }
    // The same installation without its lib folder: how much of the difference is the scan.
    const Layout bare = makeLayout("bench-launch-nolib");
    installMainJar(bare.appDir);
    const std::string benchDir = buildDir() + "\\tests";
    const std::wstring env = environmentBlock(layout);
    const std::wstring tracedEnv = environmentBlock(layout, "KORVO_TRACE=1");
    // An earlier build of Korvo.exe (KORVO_BENCH_BASELINE, a host or Windows path) in the same
    // folder, so the untraced launch is compared with what it cost before, in the same run.
    const char* baselineSource = std::getenv("KORVO_BENCH_BASELINE");
    const std::string baseline = baselineSource && *baselineSource ? layout.appDir + "\\KorvoBaseline.exe" : "";
    if (!baseline.empty())
        copyFile(baselineSource[0] == '/' ? unixToWindowsPath(baselineSource) : baselineSource, baseline);
    const std::wstring hostArgs = L"\"" + utf8ToWide(runtime) + L"\" \"" + utf8ToWide(layout.appDir) + L"\\Korvo.jar\"";

    std::vector<double> korvo, noLib, host, empty, traced, before;
    for (int i = 0; i < rounds + 3; ++i) {
        const double k = timedRun(layout.exe, L"", env);
        const double t = timedRun(layout.exe, L"", tracedEnv);
        const double b = baseline.empty() ? 0 : timedRun(baseline, L"", env);
        const double n = timedRun(bare.exe, L"", env);
        const double h = timedRun(benchDir + "\\bench_minimal_host.exe", hostArgs, env);
        const double e = timedRun(benchDir + "\\bench_empty_gui.exe", L"", env);
        if (k < 0 || n < 0 || h < 0 || e < 0 || t < 0 || b < 0) {
            std::printf("  a run failed (Korvo %.0f, no lib %.0f, host %.0f, empty %.0f, traced %.0f, baseline %.0f)\n",
                        k, n, h, e, t, b);
            return;
        }
        if (i < 3) continue;  // warm-up: first runs pay for cold caches
        korvo.push_back(k);
        traced.push_back(t);
        before.push_back(b);
        noLib.push_back(n);
        host.push_back(h);
        empty.push_back(e);
    }
    const Stats k = summarize(korvo), n = summarize(noLib), h = summarize(host), e = summarize(empty);
    std::printf("Launch (%d rounds; 100 archives in 10 folders; stand-in runtime, main returns at once)\n", rounds);
    printStats("Korvo.exe complete launch", k);
    printStats("Korvo.exe, no lib folder", n);
    printStats("minimal in-process host", h);
    printStats("empty GUI program", e);
    printAgainst("Korvo.exe - minimal host", k, h);
    printAgainst("Korvo.exe - empty GUI program", k, e);
    printAgainst("Korvo.exe no lib - minimal host", n, h);
    const Stats t = summarize(traced), b = summarize(before);
    printStats("Korvo.exe, KORVO_TRACE=1", t);
    printAgainst("traced - untraced", t, k);
    if (baseline.empty()) return;
    printStats("earlier Korvo.exe (baseline)", b);
    printAgainst("Korvo.exe - earlier Korvo.exe", k, b);
}

// The same pair with the real runtime (Avian): the launcher's share of a real start. The
// application's main returns at once; a lib folder holds one archive in a subfolder.
void benchRealLaunch(int rounds) {
    if (avianDir().empty()) {
        std::printf("Launch with the real runtime: skipped, no Avian source beside the project (../shared/avian)\n");
        return;
    }
    Registry registry;
    const Layout layout = makeLayout("bench-real");
    copyFile(avianDir() + "\\app\\Korvo.jar", layout.appDir + "\\Korvo.jar");
    makeFolders(layout.appDir + "\\lib\\plugins");
    copyFile(avianDir() + "\\app\\nested.jar", layout.appDir + "\\lib\\plugins\\nested.jar");
    const std::string runtime = installAvianRuntime(layout.root + "\\Maker");
    registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Maker");
    const std::wstring env = environmentBlock(layout, "KORVO_APP_MODE=quiet");
    const std::string host = buildDir() + "\\tests\\bench_minimal_host.exe";
    const std::wstring hostArgs = L"\"" + utf8ToWide(runtime) + L"\" \"" + utf8ToWide(layout.appDir) + L"\\Korvo.jar\"";

    std::vector<double> korvo, minimal;
    for (int i = 0; i < rounds + 3; ++i) {
        const double k = timedRun(layout.exe, L"", env);
        const double h = timedRun(host, hostArgs, env);
        if (k < 0 || h < 0) {
            std::printf("  a run failed (Korvo %.0f, host %.0f)\n", k, h);
            return;
        }
        if (i < 3) continue;
        korvo.push_back(k);
        minimal.push_back(h);
    }
    const Stats k = summarize(korvo), h = summarize(minimal);
    std::printf("Launch with the real runtime (%d rounds; Avian; main returns at once)\n", rounds);
    printStats("Korvo.exe complete launch", k);
    printStats("minimal in-process host", h);
    printAgainst("Korvo.exe - minimal host", k, h);
}

// The launcher's own work, from the "phase" lines of traced launches with an ordinary lib (5
// archives in 3 folders): every phase but loading the runtime and the runtime's own.
void benchOwnPhases(int rounds) {
    static const char* const kOwnPhases[] = {"guard", "runtime choice", "search path and QuickTime folder",
                                             "policy file", "class path and library path"};
    const size_t kOwnCount = sizeof kOwnPhases / sizeof kOwnPhases[0];
    Registry registry;
    const Layout layout = makeLayout("bench-phases");
    installMainJar(layout.appDir);
    installPrivateRuntime(layout.root + "\\Maker");
    registry.setString(Registry::kMakerKey, "JAVA_HOME", layout.root + "\\Maker");
    const std::string lib = layout.appDir + "\\lib";
    makeFolders(lib + "\\ext");
    makeFolders(lib + "\\plugins");
    for (const char* archive : {"\\a.jar", "\\b.jar", "\\ext\\c.jar", "\\ext\\d.zip", "\\plugins\\e.jar"})
        writeFile(lib + archive, "");
    const std::wstring tracedEnv = environmentBlock(layout, "KORVO_TRACE=1");

    std::vector<double> sums;
    std::vector<std::vector<double>> phases(kOwnCount);
    for (int i = 0; i < rounds + 3; ++i) {
        removeTree(layout.launchTrace());
        if (timedRun(layout.exe, L"", tracedEnv) < 0) {
            std::printf("  a traced launch failed\n");
            return;
        }
        if (i < 3) continue;
        std::vector<double> found(kOwnCount, -1);
        for (const std::string& step : linesWithPrefix(launchTraceSteps(layout.launchTrace()), "phase ")) {
            const size_t colon = step.rfind(": ");
            if (colon == std::string::npos) continue;
            const std::string name = step.substr(6, colon - 6);
            for (size_t p = 0; p < kOwnCount; ++p)
                if (name == kOwnPhases[p]) found[p] = std::atof(step.c_str() + colon + 2);
        }
        double sum = 0;
        for (size_t p = 0; p < kOwnCount; ++p) {
            if (found[p] < 0) {
                std::printf("  the trace has no line for the phase \"%s\"\n", kOwnPhases[p]);
                return;
            }
            phases[p].push_back(found[p]);
            sum += found[p];
        }
        sums.push_back(sum);
    }
    std::printf("Launcher's own phases (%d traced launches; 5 archives in 3 folders under lib; stand-in runtime)\n",
                rounds);
    printStats("sum of its own phases", summarize(sums));
    std::printf("  medians:");
    for (size_t p = 0; p < kOwnCount; ++p)
        std::printf("%s %s %.2f", p ? "," : "", kOwnPhases[p], summarize(phases[p]).median);
    std::printf(" ms\n");
}

void bareWalk(const std::string& folder, size_t& entries) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        ++entries;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && entry.cFileName[0] != '.')
            bareWalk(folder + entry.cFileName + "\\", entries);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

// archives .jar files plus as many .txt files, 100 to a folder, folders nested two deep.
std::string makeArchiveTree(const std::string& name, int archives) {
    const std::string root = "C:\\kt\\" + name + "\\lib\\";
    if (exists(root + "done")) return root;
    removeTree("C:\\kt\\" + name);
    for (int i = 0; i < archives; ++i) {
        const std::string dir = root + "outer" + std::to_string(i / 1000) + "\\inner" + std::to_string(i / 50);
        if (i % 50 == 0) makeFolders(dir);
        const std::string base = dir + "\\entry" + std::to_string(i);
        for (const std::string& file : {base + ".jar", base + ".txt"}) {
            HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        }
    }
    writeFile(root + "done", "");
    return root;
}

Stats benchScan(int archives, int rounds, Stats& walk) {
    const std::string root = makeArchiveTree("bench-scan-" + std::to_string(archives), archives);
    std::vector<double> scanTimes, walkTimes;
    size_t found = 0;
    for (int i = 0; i < rounds + 2; ++i) {
        classPathOption.clear();
        double start = nowMs();
        scanArchives(root);
        const double scan = nowMs() - start;
        size_t entries = 0;
        start = nowMs();
        bareWalk(root, entries);
        const double bare = nowMs() - start;
        if (i < 2) continue;
        scanTimes.push_back(scan);
        walkTimes.push_back(bare);
        found = static_cast<size_t>(std::count(classPathOption.begin(), classPathOption.end(), ';'));
    }
    std::printf("Archive scan, %d archives + %d other files (%zu entries found on the class path)\n", archives,
                archives, found);
    const Stats s = summarize(scanTimes);
    walk = summarize(walkTimes);
    printStats("scanArchives", s);
    printStats("bare FindFirstFileA walk", walk);
    printAgainst("scan - bare walk", s, walk);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 40;
    benchLaunch(rounds);
    std::printf("\n");
    benchOwnPhases(rounds);
    std::printf("\n");
    benchRealLaunch(rounds);
    std::printf("\n");
    Stats walk1k, walk10k;
    const Stats scan1k = benchScan(1000, rounds, walk1k);
    std::printf("\n");
    const Stats scan10k = benchScan(10000, std::max(5, rounds / 4), walk10k);
    std::printf("\nScan growth from 1 000 to 10 000 archives: x%.2f (bare walk x%.2f)\n",
                scan10k.lowerQuartile / scan1k.lowerQuartile, walk10k.lowerQuartile / walk1k.lowerQuartile);
    return 0;
}
