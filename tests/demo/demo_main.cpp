// The demo: lays out an installation as the README describes it (application folder with
// Korvo.exe, Korvo.jar and lib, the private runtime beside it, the maker's registry value),
// launches Korvo.exe with a few arguments and reports what happened. Where ../shared/avian
// exists, the runtime is the real Java virtual machine built from it and the Java application
// prints what it received; elsewhere it is the test stand-in, whose record shows what reached
// the virtual machine.
#include <cstdio>

#include "support/harness.h"

using namespace harness;

namespace {

void printValue(const char* label, const std::string& value) { std::printf("%-22s %s\n", label, value.c_str()); }

std::string firstLine(const std::vector<std::string>& lines, const std::string& prefix) {
    const auto found = linesWithPrefix(lines, prefix);
    return found.empty() ? std::string("(not reached)") : found.back();
}

std::string after(const std::vector<std::string>& lines, const std::string& prefix) {
    const auto found = linesWithPrefix(lines, prefix);
    return found.empty() ? std::string("(none)") : found[0].substr(prefix.size());
}

void listTree(const std::string& folder) {
    for (const std::string& name : listFolder(folder)) {
        const std::string path = folder + "\\" + name;
        if (isFolder(path)) {
            listTree(path);
        } else {
            std::printf("  %-72s %9zu bytes\n", path.c_str(), readFile(path).size());
        }
    }
}

// What the stand-in recorded: the runtime's view of the launch.
void reportStandinTrace(const std::vector<std::string>& lines) {
    printValue("C library preloaded:", after(lines, "msvcr71 attach "));
    printValue("jvm.dll loaded:", after(lines, "jvm attach "));
    printValue("Creation:", after(lines, "create version") == "(none)" ? "not attempted"
                                                                      : "version" + after(lines, "create version"));
    std::printf("Options:\n");
    const std::vector<std::string> options = traceOptions(lines);
    for (size_t i = 0; i < options.size(); ++i) std::printf("  [%zu] %s\n", i, options[i].c_str());
    printValue("Working directory:", after(lines, "cwd="));
    printValue("Main class:", after(lines, "FindClass com/qzm/korvo/Korvo -> "));
    const std::vector<std::string> args = traceArgs(lines);
    std::printf("main received %zu argument(s):\n", args.size());
    for (size_t i = 0; i < args.size(); ++i) std::printf("  [%zu] \"%s\"\n", i, args[i].c_str());
    printValue("main:", hasLine(lines, "main returned") ? "returned" : firstLine(lines, "main threw"));
    printValue("Virtual machine:", firstLine(lines, "DestroyJavaVM"));
}

}  // namespace

int main() {
    const bool real = !avianDir().empty();
    const std::string root = "C:\\KorvoDemo";
    removeTree(root);
    const std::string installDir = root + "\\Program Files\\Halvesta";
    const std::string appDir = installDir + "\\Korvo";
    const std::string runtimeRoot = installDir + "\\Java";
    const std::string profile = root + "\\Users\\demo";
    const std::string temp = profile + "\\Temp";
    const std::string output = root + "\\output.txt";
    const std::string trace = root + "\\trace.txt";
    for (const std::string& folder : {appDir + "\\lib\\plugins", profile, temp}) makeFolders(folder);

    copyFile(korvoExe(), appDir + "\\Korvo.exe");
    if (real) {
        copyFile(avianDir() + "\\app\\Korvo.jar", appDir + "\\Korvo.jar");
        copyFile(avianDir() + "\\app\\nested.jar", appDir + "\\lib\\plugins\\nested.jar");
        installAvianRuntime(runtimeRoot);
    } else {
        installMainJar(appDir);
        copyFile(jarsDir() + "\\other.jar", appDir + "\\lib\\plugins\\nested.jar");
        installPrivateRuntime(runtimeRoot);
    }
    writeFile(appDir + "\\lib\\README.txt", "Archives in this folder and below are put on the class path.\r\n");

    Registry registry;
    registry.setString(Registry::kMakerKey, "JAVA_HOME", runtimeRoot);

    Launch launch;
    launch.env["USERPROFILE"] = profile;
    launch.env["TEMP"] = temp;
    launch.env["PATH"] = "C:\\windows\\system32;C:\\windows";
    launch.env["ProgramFiles"] = root + "\\Program Files";
    if (!real) launch.env["KORVO_STANDIN_TRACE"] = trace;
    launch.stderrFile = output;
    // KORVO_TRACE given to the demo reaches the launch, and its trace is shown at the end.
    char traceSwitch[16] = {};
    const DWORD traceLength = GetEnvironmentVariableA("KORVO_TRACE", traceSwitch, sizeof traceSwitch);
    if (traceLength > 0 && traceLength < sizeof traceSwitch) launch.env["KORVO_TRACE"] = traceSwitch;
    launch.arguments = L"--open \"C:\\Vid\u00e9os\\\u00e9t\u00e9 2026.mov\" \"\" \u041f\u0440\u0438\u0432\u0435\u0442";

    if (real) {
        printValue("Runtime:", "Avian, a real Java virtual machine, built from ../shared/avian");
    } else {
        printValue("Runtime:", "../shared/avian is absent (a clone outside this workspace): the test stand-in,");
        printValue("", "which records what it receives and runs no Java");
    }
    std::printf("Installation:\n");
    listTree(installDir);
    printValue("Registry:", "HKLM\\SOFTWARE\\Halvesta  JAVA_HOME = " + runtimeRoot);
    std::printf("Environment:\n");
    for (const char* name : {"USERPROFILE", "TEMP", "PATH", "ProgramFiles"})
        std::printf("  %s=%s\n", name, launch.env[name].c_str());
    std::printf("\nLaunching %s\\Korvo.exe --open \"C:\\Vid\xc3\xa9os\\\xc3\xa9t\xc3\xa9 2026.mov\" \"\" "
                "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82\n\n",
                appDir.c_str());
    const LaunchResult result = runKorvo(appDir + "\\Korvo.exe", launch);

    if (real) {
        std::printf("The Java application's own output:\n");
        for (const std::string& line : traceLines(output)) std::printf("  | %s\n", line.c_str());
        std::printf("\n");
    } else {
        reportStandinTrace(traceLines(trace));
    }
    for (const Box& box : result.boxes)
        printValue("Message box:", "[" + box.caption + "] " + box.text);
    char code[32];
    std::snprintf(code, sizeof code, "%lu", static_cast<unsigned long>(result.exitCode));
    printValue("Korvo.exe exit code:", code);

    const std::string policy = temp + "\\Korvo.exe.policy";
    const std::string policyBytes = readFile(policy);
    printValue("Policy file:", policy + " (" + std::to_string(policyBytes.size()) + " bytes)");
    std::printf("%s", policyBytes.c_str());
    const std::string log = profile + "\\Logs\\Korvo Session Log.txt";
    printValue("Session log:", exists(log) ? log : log + " (not written: nothing went wrong)");
    if (exists(log)) std::printf("%s\n", readFile(log).c_str());
    printValue("Crash log:", profile + "\\Logs\\Korvo.exe_error<process id>.log (only if the runtime crashes" +
                                 std::string(real ? "; Avian ignores this option)" : ")"));
    const std::string launchTrace = profile + "\\Logs\\Korvo Launch Trace.txt";
    if (exists(launchTrace)) {
        printValue("Launch trace:", launchTrace);
        std::printf("%s", readFile(launchTrace).c_str());
    }
    return result.exitCode == 0 && !result.timedOut ? 0 : 1;
}
