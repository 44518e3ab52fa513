#include "package/manifest.h"

#include "base/text_format.h"
#include "package/path_rules.h"

namespace {

const char16_t kMagic[] = u"DADEZORORA1";

// Lines of UTF-16LE bytes, ended by LF, NUL or the end; empty lines dropped.
std::vector<std::u16string> SplitLines(const uint8_t* data, size_t size) {
    std::vector<std::u16string> lines;
    std::u16string line;
    for (size_t i = 0; i + 1 < size; i += 2) {
        char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == u'\n' || c == 0) {
            if (!line.empty()) lines.push_back(line);
            line.clear();
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

}  // namespace

ByteBuffer BuildManifestBytes(const ManifestFields& fields, const std::vector<WideBuffer>& fileLines) {
    WideBuffer text;
    TextFormat(text, u"DADEZORORA1\nBASE\t%s\nDIR\t%s\nMAIN\t%s\nVERSION\t%s\nTYPE\t%u\n", fields.base, fields.dir,
               fields.main, fields.version, fields.type);
    for (const WideBuffer& file : fileLines) TextFormat(text, u"FILE\t%s\n", file);
    return Utf16LeBytes(text);
}

ByteBuffer Utf16LeBytes(std::u16string_view text) {
    ByteBuffer bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

bool ParseManifestBytes(const uint8_t* data, size_t size, ManifestFields& fields) {
    if (size < 2 || size % 2 != 0) return false;
    std::vector<std::u16string> lines = SplitLines(data, size);
    if (lines.empty() || lines[0] != kMagic) return false;
    bool seenBase = false, seenDir = false, seenVersion = false, seenType = false;
    StringListAdder files(fields.files);
    for (size_t i = 1; i < lines.size(); ++i) {
        size_t tab = lines[i].find(u'\t');
        if (tab == std::u16string::npos) return false;
        std::u16string_view key = std::u16string_view(lines[i]).substr(0, tab);
        std::u16string_view value = std::u16string_view(lines[i]).substr(tab + 1);
        auto once = [&](bool& seen, WideBuffer& field) {
            if (seen) return false;
            seen = true;
            field.assign(value);
            return true;
        };
        if (key == u"BASE") {
            if (!once(seenBase, fields.base)) return false;
        } else if (key == u"DIR") {
            if (!once(seenDir, fields.dir)) return false;
        } else if (key == u"VERSION") {
            if (!once(seenVersion, fields.version)) return false;
        } else if (key == u"MAIN") {
            fields.main.assign(value);
        } else if (key == u"TYPE") {
            if (seenType || (value != u"0" && value != u"1")) return false;
            seenType = true;
            fields.type = value == u"1" ? ManifestTypeInstaller : ManifestTypeDeployed;
        } else if (key == u"FILE") {
            files.Add(value);
        } else {
            return false;
        }
    }
    return seenBase && seenDir && seenType;
}

bool ManifestDirValues(const uint8_t* data, size_t size, std::vector<WideBuffer>& dirs) {
    if (size < 2 || size % 2 != 0) return false;
    for (const std::u16string& line : SplitLines(data, size)) {
        if (line.size() > 3 && line.compare(0, 4, u"DIR\t") == 0) dirs.push_back(line.substr(4));
    }
    return true;
}

bool HasNoControlChars(std::u16string_view text) {
    for (char16_t c : text) {
        if (c < 0x20) return false;
    }
    return true;
}

bool IsDirectDesktopShortcut(std::u16string_view desktop, std::u16string_view path) {
    return IsStrictlyUnder(desktop, path) && EndsWithNoCase(path, u".lnk") &&
           path.find(u'\\', desktop.size() + 1) == std::u16string_view::npos;
}
