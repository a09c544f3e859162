#include "config/path_text.h"

#include <io.h>
#include <sys/stat.h>

bool isDirectory(const char* path) {
    if (_access(path, 0) != 0) return false;
    struct _stat status;
    if (_stat(path, &status) != 0) return false;
    return (status.st_mode & _S_IFDIR) != 0;
}

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
