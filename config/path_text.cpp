#include "config/path_text.h"

#include <windows.h>

namespace {

// In a double-byte ANSI code page (932, 936, 949, 950) the second byte of a character may be
// 0x5C, the backslash, so such text is read character by character.
bool startsDoubleByte(const std::string& text, size_t at) {
    return at + 1 < text.size() && IsDBCSLeadByte(static_cast<BYTE>(text[at]));
}

}  // namespace

size_t lastBackslash(const std::string& text) {
    size_t found = std::string::npos;
    for (size_t at = 0; at < text.size(); at += startsDoubleByte(text, at) ? 2 : 1)
        if (text[at] == '\\') found = at;
    return found;
}

size_t lengthWithoutTrailingBackslashes(const std::string& text) {
    size_t keep = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t next = at + (startsDoubleByte(text, at) ? 2 : 1);
        if (next - at == 2 || text[at] != '\\') keep = next;
        at = next;
    }
    return keep;
}

void escapeCodeBase(std::string& text) {
    std::string escaped;
    escaped.reserve(text.size() + 16);
    for (size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (startsDoubleByte(text, at)) {
            escaped += c;
            escaped += text[++at];
        } else if (c == '\\') {
            escaped += '/';
        } else if (c == '%') {  // the policy parser decodes %XX, so a bare % fails the whole grant
            escaped += "%25";
        } else if (c == '#') {  // it would start the URL's fragment
            escaped += "%23";
        } else if (c == '?') {  // it would start a query (a path that names nothing holds one)
            escaped += "%3F";
        } else if (c == ' ') {
            escaped += "%20";
        } else {
            escaped += c;
        }
    }
    text.swap(escaped);
}
