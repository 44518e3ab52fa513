#include "base/file.h"

std::vector<WideBuffer> DirectoryTreePrefixes(std::u16string_view path) {
    std::vector<WideBuffer> prefixes;
    if (path.empty()) return prefixes;
    for (size_t i = 1; i < path.size(); ++i) {
        if ((path[i] == u'\\' || path[i] == u'/') && path[i - 1] != u':') {
            prefixes.emplace_back(path.substr(0, i));
        }
    }
    prefixes.emplace_back(path);
    return prefixes;
}
