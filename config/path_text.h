// Text helpers for paths.
#pragma once

#include <string>

// The form a Windows path takes after "file:/" in a policy code base or URL: backslashes
// become slashes and blanks become "%20". Nothing else is encoded.
void escapeCodeBase(std::string& text);
