#include "package/extractor.h"

#include <string>
#include <string_view>

namespace {

bool StartsWith(std::string_view line, std::string_view prefix) { return line.substr(0, prefix.size()) == prefix; }

// The next line of the listing, ending at LF or NUL, without trailing CR and
// spaces. The listing can be hundreds of MB, so lines are views, not copies.
std::string_view NextListingLine(const uint8_t* bytes, size_t size, size_t& position) {
    const char* text = reinterpret_cast<const char*>(bytes);
    size_t start = position, end = start;
    while (end < size && bytes[end] != '\n' && bytes[end] != 0) ++end;
    position = end + 1;
    while (end > start && (text[end - 1] == '\r' || text[end - 1] == ' ')) --end;
    return std::string_view(text + start, end - start);
}

}  // namespace

bool CheckArchiveListing(const uint8_t* bytes, size_t size, std::u16string_view destination, bool is7zip,
                         RelativeJoin join) {
    bool inList = !is7zip;
    size_t position = 0;
    // position == size still yields the (empty) line after a final separator.
    while (position <= size) {
        std::string_view line = NextListingLine(bytes, size, position);
        if (is7zip && line.size() >= 10 && StartsWith(line, "----------")) {
            inList = true;
            continue;
        }
        if (!inList) continue;
        std::string_view path;
        if (!is7zip) {
            if (line.empty()) continue;
            path = line;
        } else if (line.size() > 16 && StartsWith(line, "Symbolic Link = ")) {
            return false;
        } else if (line.size() > 12 && StartsWith(line, "Hard Link = ")) {
            return false;
        } else if (line.size() > 7 && StartsWith(line, "Path = ")) {
            path = line.substr(7);
        } else {
            continue;
        }
        WideBuffer target;
        if (!join(destination, Utf8ToWide(path), target)) return false;
    }
    return true;
}

bool IsExternalArchiveFormat(PackageFormat format) {
    return format == kFormatRar || format == kFormat7z || format == kFormatRarSfx || format == kFormat7zSfx;
}

WideBuffer ListArguments(bool is7zip, std::u16string_view package) {
    WideBuffer arguments = is7zip ? u"l -slt -sccUTF-8 --" : u"lb -c- --";
    AppendQuotedArgument(arguments, package);
    return arguments;
}

WideBuffer ExtractArguments(bool is7zip, std::u16string_view package, std::u16string_view destination) {
    WideBuffer arguments;
    if (is7zip) {
        arguments = u"x -y -aoa -sccUTF-8";
        AppendQuotedArgument(arguments, u"-o" + WideBuffer(destination));
        arguments += u" --";
        AppendQuotedArgument(arguments, package);
    } else {
        arguments = u"x -y -o+ -idq --";
        AppendQuotedArgument(arguments, package);
        AppendQuotedArgument(arguments, WideBuffer(destination) + u"\\");
    }
    return arguments;
}

WideBuffer SelfExtractArguments(PackageFormat format, std::u16string_view destination) {
    WideBuffer arguments = format == kFormatRarSfx ? u"-s" : u"-y";
    AppendQuotedArgument(arguments, (format == kFormatRarSfx ? u"-d" : u"-o") + WideBuffer(destination));
    return arguments;
}
