#include "config/policy.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <io.h>
#include <sys/stat.h>

#include "config/path_text.h"
#include "launcher/trace.h"

namespace {

const char kPolicyFileName[] = "Korvo.exe.policy";

// TEMP as the environment gives it; the system's temporary folder when it is unset, empty
// or too long, so the file still lands in a writable per-user place.
std::string temporaryFolder() {
    char temp[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA("TEMP", temp, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return temp;

    char systemTemp[MAX_PATH + 1] = {};
    length = GetTempPathA(sizeof systemTemp, systemTemp);
    if (length == 0 || length >= sizeof systemTemp) return std::string();
    std::string folder(systemTemp, length);
    // A drive root (TMP=C:\) is shared by every user of the machine, who could leave a policy
    // there that the launch would trust: no folder then.
    if (isDriveRoot(folder)) return std::string();
    // GetTempPathA ends its answer with a backslash; TEMP itself normally does not.
    if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    return folder;
}

// A comment line and a grant of every permission to code under codeBase and below.
void appendGrant(std::string& text, const char* comment, const std::string& codeBase) {
    text += comment;
    text += "\r\n";
    text += "grant codeBase \"file:/";
    text += codeBase;
    text += "-\" {\r\n";
    text += "\tpermission java.security.AllPermission;\r\n";
    text += "};\r\n";
}

}  // namespace

bool isDriveRoot(const std::string& path) {
    if (path.size() < 2 || path[1] != ':') return false;
    const char drive = path[0];
    if (!((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z'))) return false;
    return path.find_first_not_of("\\/", 2) == std::string::npos;
}

std::string policyFilePath(const std::string& tempDir) { return tempDir + "\\" + kPolicyFileName; }

std::string securityPolicyOptionText(const std::string& escapedPolicyPath) {
    return "-Djava.security.policy=file:/" + escapedPolicyPath;
}

std::string policyFileText(const std::string& appCodeBase, const std::string& quickTimeCodeBase) {
    std::string text;
    appendGrant(text, "//Give this directory security permissions", appCodeBase);
    text += "\r\n";
    appendGrant(text, "//Give QuickTime security permissions", quickTimeCodeBase);
    return text;
}

void writePolicyFile(FILE* file, const std::string& appCodeBase, const std::string& quickTimeCodeBase) {
    const std::string text = policyFileText(appCodeBase, quickTimeCodeBase);
    std::fwrite(text.data(), 1, text.size(), file);
}

void preparePolicyFile(LaunchContext& context) {
    const std::string tempDir = temporaryFolder();
    context.policyPath = policyFilePath(tempDir);

    const char* outcome = "not written: no folder (TEMP unusable, and the system's is a drive root or unreadable)";
    // Only a folder the system named gets a file: never a drive root by accident.
    if (!tempDir.empty()) {
        const char* path = context.policyPath.c_str();
        // Something that could not be deleted (read-only file, a folder) is left as it is. When
        // the delete worked, or there was nothing to delete, nothing stands there: no need to ask.
        bool occupied = false;
        if (_unlink(path) == -1 && errno != ENOENT) {
            remove(path);
            struct _stat status;
            occupied = _stat(path, &status) == 0;
            if (occupied)
                outcome = (status.st_mode & _S_IFDIR) ? "left in place: a folder of that name"
                                                      : "left in place: a file that could not be deleted (read-only)";
        }
        if (!occupied) outcome = "not written: the file could not be created";
        if (!occupied) {
            std::string appCodeBase = context.appDir + "\\";
            escapeCodeBase(appCodeBase);
            std::string quickTimeCodeBase = context.quickTimeDir;
            escapeCodeBase(quickTimeCodeBase);
            if (FILE* file = std::fopen(path, "wb")) {
                writePolicyFile(file, appCodeBase, quickTimeCodeBase);
                std::fclose(file);
                outcome = "written";
            }
        }
    }

    traceLine({"policy: folder \"", tempDir, "\", file \"", context.policyPath, "\": ", outcome});
    escapeCodeBase(context.policyPath);
    context.securityManagerOption = "-Djava.security.manager";
    context.securityPolicyOption = securityPolicyOptionText(context.policyPath);
}
