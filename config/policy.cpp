#include "config/policy.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <io.h>
#include <sys/stat.h>

#include "base/trace.h"
#include "base/wide_path.h"
#include "config/path_text.h"

namespace {

const wchar_t kPolicyFileName[] = L"Korvo.exe.policy";

// TEMP as the environment gives it, when the file's whole path fits the system's path limit.
bool temporaryFolder(std::wstring& folder) {
    std::wstring temp;
    if (!readEnvironment(L"TEMP", temp) || temp.empty()) return false;
    if (policyFilePath(temp).size() >= MAX_PATH) return false;
    folder.swap(temp);
    return true;
}

// The system's temporary folder (TMP, TEMP, the profile, the Windows folder), never a drive
// root: that is shared by every user of the machine, who could leave a policy there that the
// launch would trust.
bool systemTemporaryFolder(std::wstring& folder) {
    wchar_t systemTemp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, systemTemp);
    if (length == 0 || length > MAX_PATH) return false;
    std::wstring found(systemTemp, length);
    if (isDriveRoot(ansiPathOrNothing(found))) return false;
    // GetTempPathW ends its answer with a backslash; TEMP itself normally does not.
    if (found.size() > 3 && found.back() == L'\\') found.pop_back();
    folder.swap(found);
    return true;
}

// A comment line and a grant of every permission to code under codeBase and below.
void appendGrant(std::string& text, const char* comment, const std::string& codeBase) {
    text += comment;
    text += "\r\n";
    text += "grant codeBase \"";
    text += fileUrl(codeBase);
    text += "-\" {\r\n";
    text += "\tpermission java.security.AllPermission;\r\n";
    text += "};\r\n";
}

enum class PolicyFile { Written, Occupied, NotWritten };

// Rewrites the file through its wide path, so it lands in the true folder whatever the ANSI
// code page holds. Something that could not be deleted (a read-only file, a folder) is left as
// it is; when the delete worked, or there was nothing to delete, nothing stands there.
PolicyFile rewritePolicyFile(const std::wstring& path, const std::string& appCodeBase,
                             const std::string& quickTimeCodeBase) {
    if (_wunlink(path.c_str()) == -1 && errno != ENOENT) {
        _wremove(path.c_str());
        struct _stat status;
        if (_wstat(path.c_str(), &status) == 0) {
            tracePath("policy: file ", path,
                      (status.st_mode & _S_IFDIR) ? ": left in place: a folder of that name"
                                                  : ": left in place: a file that could not be deleted (read-only)");
            return PolicyFile::Occupied;
        }
    }
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (file) writePolicyFile(file, appCodeBase, quickTimeCodeBase);
    const bool written = file && std::fclose(file) == 0;
    tracePath("policy: file ", path, written ? ": written" : ": not written: the file could not be created");
    return written ? PolicyFile::Written : PolicyFile::NotWritten;
}

void appendUtf8Escapes(std::string& text, unsigned long codePoint) {
    static const char kHex[] = "0123456789ABCDEF";
    unsigned char bytes[4];
    int count;
    if (codePoint < 0x80) {
        bytes[0] = static_cast<unsigned char>(codePoint);
        count = 1;
    } else if (codePoint < 0x800) {
        bytes[0] = static_cast<unsigned char>(0xC0 | (codePoint >> 6));
        bytes[1] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        count = 2;
    } else if (codePoint < 0x10000) {
        bytes[0] = static_cast<unsigned char>(0xE0 | (codePoint >> 12));
        bytes[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        count = 3;
    } else {
        bytes[0] = static_cast<unsigned char>(0xF0 | (codePoint >> 18));
        bytes[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 12) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[3] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        count = 4;
    }
    for (int i = 0; i < count; ++i) {
        text += '%';
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0xF];
    }
}

}  // namespace

bool isDriveRoot(const std::string& path) {
    if (path.size() < 2 || path[1] != ':') return false;
    const char drive = path[0];
    if (!((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z'))) return false;
    return path.find_first_not_of("\\/", 2) == std::string::npos;
}

std::wstring policyFilePath(const std::wstring& tempDir) { return tempDir + L"\\" + kPolicyFileName; }

std::string fileUrl(const std::string& escapedPath) {
    // An escaped UNC path starts "//server": one more slash keeps the server in the URL
    // (file:////server/share/...), where three would read it as a folder of the current drive.
    const bool unc = escapedPath.size() >= 2 && escapedPath[0] == '/' && escapedPath[1] == '/';
    return (unc ? "file://" : "file:/") + escapedPath;
}

std::string fileUrlPath(const std::wstring& longPath) {
    std::string ansi;
    if (heldAnsiPath(longPath, ansi)) {
        escapeCodeBase(ansi);
        return ansi;
    }
    const std::wstring path = withoutLongPathPrefix(longPath);
    std::string url;
    for (size_t at = 0; at < path.size(); ++at) {
        // One character at a time: a surrogate pair together.
        const bool pair = highSurrogate(path[at]) && at + 1 < path.size() && lowSurrogate(path[at + 1]);
        const std::wstring character = path.substr(at, pair ? 2 : 1);
        std::string bytes;
        if (exactAnsi(character, bytes)) {
            escapeCodeBase(bytes);
            url += bytes;
        } else if (!pair && (highSurrogate(path[at]) || lowSurrogate(path[at]))) {
            // A lone surrogate has no UTF-8 form; runtimes would decode a made-up one as U+FFFD,
            // a character a real folder's name may hold. "?" names nothing.
            url += "%3F";
        } else {
            const unsigned long codePoint =
                pair ? 0x10000 + ((static_cast<unsigned long>(path[at]) - 0xD800) << 10) + (path[at + 1] - 0xDC00)
                     : static_cast<unsigned long>(path[at]);
            appendUtf8Escapes(url, codePoint);
        }
        if (pair) ++at;
    }
    return url;
}

std::string securityPolicyOptionText(const std::string& escapedPolicyPath) {
    return "-Djava.security.policy=" + fileUrl(escapedPolicyPath);
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
    std::string appCodeBase = context.appDir + "\\";
    escapeCodeBase(appCodeBase);
    std::string quickTimeCodeBase = context.quickTimeDir;
    escapeCodeBase(quickTimeCodeBase);

    // TEMP first. When it is unusable and nothing stands in the file's place there, the system's
    // temporary folder. The option names the file that was written or left in place (else the
    // first place tried), so the grant never silently vanishes.
    std::wstring temp, systemTemp, named;
    bool settled = false;
    if (temporaryFolder(temp)) {
        named = policyFilePath(temp);
        settled = rewritePolicyFile(named, appCodeBase, quickTimeCodeBase) != PolicyFile::NotWritten;
    } else {
        traceLine({"policy: TEMP unusable (unset, empty, or too long for the file's path)"});
    }
    if (!settled && systemTemporaryFolder(systemTemp) && systemTemp != temp) {
        const std::wstring fallback = policyFilePath(systemTemp);
        if (rewritePolicyFile(fallback, appCodeBase, quickTimeCodeBase) != PolicyFile::NotWritten || named.empty())
            named = fallback;
    }
    // No folder at all: the option names the bare file name, and nothing is written.
    if (named.empty()) {
        traceLine({"policy: not written: no folder (TEMP unusable, and the system's is a drive root or unreadable)"});
        named = policyFilePath(std::wstring());
    }

    context.policyPath = fileUrlPath(named);
    context.securityManagerOption = "-Djava.security.manager";
    context.securityPolicyOption = securityPolicyOptionText(context.policyPath);
}
