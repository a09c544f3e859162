#include "config/path_text.h"

void escapeCodeBase(std::string& text) {
    std::string escaped;
    escaped.reserve(text.size() + 16);
    for (const char c : text) {
        if (c == '\\')
            escaped += '/';
        else if (c == ' ')
            escaped += "%20";
        else
            escaped += c;
    }
    text.swap(escaped);
}
