// Text helpers for paths in the ANSI code page.
#pragma once

#include <string>

// The form a Windows path takes after "file:/" in a policy code base or URL: backslashes
// become slashes, "%" becomes "%25", "#" "%23", "?" "%3F" and blanks "%20". Nothing else is
// encoded; the bytes of double-byte characters stay as they are.
void escapeCodeBase(std::string& text);

// Position of the last backslash that is a character of its own (not the second byte of a
// double-byte character); npos when there is none.
size_t lastBackslash(const std::string& text);

// The length of text without its trailing backslashes, counting only those that are characters
// of their own: in 932 "\x95\x5C" is one character whose second byte looks like a backslash.
size_t lengthWithoutTrailingBackslashes(const std::string& text);
