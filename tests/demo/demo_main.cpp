// The demo: lays out an application folder with a private runtime (the test stand-in, since no
// Windows Java runtime exists under Wine on Linux), launches Korvo.exe with a few arguments,
// and reports what happened as the user would want to know it.
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

}  // namespace

int main() {
    const std::string root = "C:\\KorvoDemo";
    removeTree(root);
    const std::string appDir = root + "\\Apps\\Korvo";
    const std::string profile = root + "\\Users\\demo";
    const std::string temp = root + "\\Temp";
    const std::string trace = root + "\\trace.txt";
    for (const std::string& folder : {appDir + "\\lib\\ui", appDir + "\\lib\\media", profile, temp})
        makeFolders(folder);
    copyFile(korvoExe(), appDir + "\\Korvo.exe");
    installMainJar(appDir);
    copyFile(jarsDir() + "\\other.jar", appDir + "\\lib\\ui\\widgets.jar");
    copyFile(jarsDir() + "\\other.jar", appDir + "\\lib\\media\\codecs.zip");
    writeFile(appDir + "\\lib\\README.txt", "Archives in this folder are put on the class path.\r\n");
    const std::string runtime = installPrivateRuntime(root + "\\Java");

    Registry registry;
    registry.setString(Registry::kMakerKey, "JAVA_HOME", root + "\\Java");

    Launch launch;
    launch.env["USERPROFILE"] = profile;
    launch.env["TEMP"] = temp;
    launch.env["PATH"] = "C:\\windows\\system32;C:\\windows";
    launch.env["ProgramFiles"] = "C:\\Program Files";
    launch.env["KORVO_STANDIN_TRACE"] = trace;
    launch.stderrFile = root + "\\stderr.txt";
    launch.arguments = L"--open \"C:\\Vid\u00e9os\\\u00e9t\u00e9 2026.mov\" \"\"";

    std::printf("Launching %s\\Korvo.exe --open \"C:\\Vid\xc3\xa9os\\\xc3\xa9t\xc3\xa9 2026.mov\" \"\"\n\n", appDir.c_str());
    const LaunchResult result = runKorvo(appDir + "\\Korvo.exe", launch);
    const std::vector<std::string> lines = traceLines(trace);

    printValue("Runtime chosen:", runtime + " (private; HKLM\\SOFTWARE\\Halvesta JAVA_HOME)");
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
    for (const Box& box : result.boxes)
        printValue("Message box:", "[" + box.caption + "] " + box.text);
    char code[32];
    std::snprintf(code, sizeof code, "%lu", static_cast<unsigned long>(result.exitCode));
    printValue("Exit code:", code);

    const std::string policy = temp + "\\Korvo.exe.policy";
    const std::string policyBytes = readFile(policy);
    printValue("Policy file:", policy + " (" + std::to_string(policyBytes.size()) + " bytes)");
    std::printf("%s", policyBytes.c_str());
    const std::string log = profile + "\\Logs\\Korvo Session Log.txt";
    printValue("Session log:", exists(log) ? log : log + " (not written: nothing went wrong)");
    if (exists(log)) std::printf("%s\n", readFile(log).c_str());
    return result.exitCode == 0 && !result.timedOut ? 0 : 1;
}
