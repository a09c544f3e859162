// Small text and file-system helpers for paths.
#pragma once

#include <string>

// True when path exists and is a folder.
bool isDirectory(const char* path);

// The form a Windows path takes after "file:/" in a policy code base or URL: backslashes
// become slashes and blanks become "%20". Nothing else is encoded.
void escapeCodeBase(std::string& text);
