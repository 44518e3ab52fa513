#include "package/path_rules.h"

bool IsStrictlyUnder(std::u16string_view folder, std::u16string_view path) {
    size_t n = folder.size();
    return n < path.size() && path[n] == u'\\' && PathTextEqualNoCase(folder, path.substr(0, n));
}

bool IsDeviceName(std::u16string_view segment) {
    std::u16string_view base = segment.substr(0, segment.find(u'.'));
    if (base.size() == 3) {
        for (const char16_t* device : {u"CON", u"PRN", u"AUX", u"NUL"}) {
            if (PathTextEqualNoCase(base, device)) return true;
        }
        return false;
    }
    if (base.size() == 4 && base[3] >= u'1' && base[3] <= u'9') {
        return PathTextEqualNoCase(base.substr(0, 3), u"COM") || PathTextEqualNoCase(base.substr(0, 3), u"LPT");
    }
    return false;
}

bool JoinRelativeText(std::u16string_view folder, std::u16string_view rel, WideBuffer& joined) {
    if (rel.empty() || rel[0] == u'\\' || rel[0] == u'/') return false;
    for (char16_t c : rel) {
        if (c == u':' || c < 0x20) return false;
    }
    size_t start = 0;
    while (start <= rel.size()) {
        size_t end = rel.find_first_of(u"\\/", start);
        if (end == std::u16string_view::npos) end = rel.size();
        std::u16string_view segment = rel.substr(start, end - start);
        if (segment.empty() || segment.back() == u'.' || segment.back() == u' ') return false;
        if (IsDeviceName(segment)) return false;
        start = end + 1;
    }
    joined.assign(folder);
    if (!joined.empty() && joined.back() != u'\\') joined.push_back(u'\\');
    joined.append(rel);
    return true;
}

WideBuffer SanitizeFolderName(std::u16string_view name) {
    WideBuffer out(name);
    for (char16_t& c : out) {
        if (c < 0x20 || std::u16string_view(u"\"*/:<>?\\|").find(c) != std::u16string_view::npos) c = u'_';
    }
    while (!out.empty() && (out.back() == u'.' || out.back() == u' ')) out.pop_back();
    return out;
}

bool InstallRootCharactersAllowed(std::u16string_view path) {
    for (size_t i = 0; i < path.size(); ++i) {
        char16_t c = path[i];
        if (c < 0x20 || std::u16string_view(u"\"*?<>|").find(c) != std::u16string_view::npos) return false;
        if (c == u':' && i != 1) return false;
    }
    return true;
}

bool InstallRootSegmentsAllowed(std::u16string_view path) {
    // Skip a drive root ("D:\"), nothing else.
    bool driveRoot = path.size() >= 3 && ((path[0] | 0x20) >= u'a' && (path[0] | 0x20) <= u'z') && path[1] == u':' &&
                     (path[2] == u'\\' || path[2] == u'/');
    size_t start = driveRoot ? 3 : 0;
    while (start < path.size()) {
        size_t end = path.find_first_of(u"\\/", start);
        if (end == std::u16string_view::npos) end = path.size();
        std::u16string_view segment = path.substr(start, end - start);
        // "." and ".." are resolved by the full path, not dropped by the system.
        bool dots = segment == u"." || segment == u"..";
        if (!segment.empty() && !dots && (segment.back() == u'.' || segment.back() == u' ')) return false;
        start = end + 1;
    }
    return true;
}

WideBuffer TrimTrailingBackslashes(std::u16string_view fullPath) {
    WideBuffer out(fullPath);
    while (out.size() > 3 && out.back() == u'\\') out.pop_back();
    return out;
}

std::vector<WideBuffer> ReparseCheckPrefixes(std::u16string_view path) {
    std::vector<WideBuffer> prefixes;
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == u'\\') prefixes.emplace_back(path.substr(0, i));
    }
    return prefixes;
}

bool IsDirectChildShape(std::u16string_view fullRoot, std::u16string_view fullDir) {
    size_t from = fullRoot.size() + 1;
    return from <= fullDir.size() && fullDir.find(u'\\', from) == std::u16string_view::npos;
}
