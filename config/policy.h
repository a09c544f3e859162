// The Java security policy the application runs under, written to the temporary folder on
// every launch, and the two options that switch the security manager on and name the file.
#pragma once

#include <cstdio>
#include <string>

#include "base/launch_context.h"

// Rewrites the policy file and sets policyPath (escaped), securityManagerOption and
// securityPolicyOption.
void preparePolicyFile(LaunchContext& context);

void writePolicyFile(FILE* file, const std::string& appCodeBase, const std::string& quickTimeCodeBase);

// The policy file's bytes for two escaped code bases.
std::string policyFileText(const std::string& appCodeBase, const std::string& quickTimeCodeBase);

// A drive letter and colon, with nothing after them but separators ("C:", "C:\").
bool isDriveRoot(const std::string& path);

// TEMP + "\Korvo.exe.policy", unescaped.
std::wstring policyFilePath(const std::wstring& tempDir);
// "file:/" and an escaped path; a UNC path ("//server/share/...") gets "file://", so the URL
// keeps its server.
std::string fileUrl(const std::string& escapedPath);
// What follows "file:/" in a URL for the path: heldAnsiPath's text escaped as a code base, else
// each character the code page lacks as its UTF-8 bytes in %XX escapes, which runtimes decode.
std::string fileUrlPath(const std::wstring& path);
std::string securityPolicyOptionText(const std::string& escapedPolicyPath);
