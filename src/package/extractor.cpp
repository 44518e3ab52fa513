#include "package/extractor.h"

#include <vector>

namespace {

std::vector<std::string> ListingLines(const uint8_t* bytes, size_t size) {
    std::vector<std::string> lines;
    std::string line;
    auto finish = [&] {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        lines.push_back(line);
        line.clear();
    };
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] == '\n' || bytes[i] == 0) finish();
        else line.push_back(static_cast<char>(bytes[i]));
    }
    finish();
    return lines;
}

bool StartsWith(const std::string& line, const char* prefix) { return line.rfind(prefix, 0) == 0; }

}  // namespace

bool CheckArchiveListing(const uint8_t* bytes, size_t size, std::u16string_view destination, bool is7zip,
                         RelativeJoin join) {
    bool inList = !is7zip;
    for (const std::string& line : ListingLines(bytes, size)) {
        if (is7zip && line.size() >= 10 && StartsWith(line, "----------")) {
            inList = true;
            continue;
        }
        if (!inList) continue;
        std::string path;
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
