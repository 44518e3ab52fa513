#include "base/windows_version.h"

#include "base/text_format.h"

WindowsVersionCode ClassifyWindowsVersion(uint32_t major, uint32_t minor, uint32_t build,
                                          uint32_t productType) {
    if (productType != 1) return kWindowsServer;
    if (major == 10) {
        if (minor != 0) return kWindowsUnknown;
        return build >= 22000 ? kWindows11 : kWindows10;
    }
    if (major == 6) {
        switch (minor) {
        case 1: return kWindows7;
        case 2: return kWindows8;
        case 3: return kWindows81;
        default: return kWindowsUnknown;
        }
    }
    return kWindowsUnknown;
}

namespace {
struct VersionRow {
    WindowsVersionCode code;
    const char16_t* token;
    const char16_t* name;
};
const VersionRow kVersions[] = {
    {kWindows7, u"win7", u"Windows 7"},
    {kWindows8, u"win8", u"Windows 8"},
    {kWindows81, u"win8.1", u"Windows 8.1"},
    {kWindows10, u"win10", u"Windows 10"},
    {kWindows11, u"win11", u"Windows 11"},
    {kWindowsServer, u"winserver", u"Windows Server"},
};

bool IsBlank(char16_t c) { return c <= 32; }
}  // namespace

const char16_t* WindowsVersionName(WindowsVersionCode code) {
    for (const VersionRow& row : kVersions) {
        if (row.code == code) return row.name;
    }
    return u"无法识别的 Windows 版本";
}

WindowsVersionCode OsTokenCode(std::u16string_view token) {
    for (const VersionRow& row : kVersions) {
        if (EqualsNoCase(token, row.token)) return row.code;
    }
    return kWindowsUnknown;
}

bool NextOsToken(std::u16string_view list, size_t& position, WideBuffer& token) {
    if (position >= list.size() || list[position] == 0) return false;
    size_t start = position, end = position;
    while (end < list.size() && list[end] != 0 && list[end] != u',' && list[end] != u'\uFF0C') ++end;
    position = (end < list.size() && list[end] != 0) ? end + 1 : end;
    while (start < end && IsBlank(list[start])) ++start;
    while (end > start && IsBlank(list[end - 1])) --end;
    token.assign(list.substr(start, end - start));
    return true;
}

bool IsOsSupported(std::u16string_view list, WindowsVersionCode running) {
    if (list.empty()) return true;
    bool restricted = false;
    size_t position = 0;
    WideBuffer token;
    while (NextOsToken(list, position, token)) {
        if (token.empty()) continue;
        restricted = true;
        WindowsVersionCode code = OsTokenCode(token);
        if (code != kWindowsUnknown &&
            (code == running || (code == kWindows8 && running == kWindows81))) {
            return true;
        }
    }
    if (restricted) return false;
    // Only separators and blanks: commas alone still count as a restriction.
    for (char16_t c : list) {
        if (c == 0) break;
        if (!IsBlank(c)) return false;
    }
    return true;
}

void DescribeSupportedSystems(std::u16string_view list, WindowsVersionCode running, WideBuffer& out) {
    out = u"支持系统：";
    bool any = false;
    size_t position = 0;
    WideBuffer token;
    while (NextOsToken(list, position, token)) {
        if (token.empty()) continue;
        if (any) out.append(u"、");
        any = true;
        WindowsVersionCode code = OsTokenCode(token);
        if (code == kWindows8) out.append(u"Windows 8 / 8.1");
        else if (code != kWindowsUnknown) out.append(WindowsVersionName(code));
        else out.append(token);
    }
    if (!any) out.append(u"未声明系统限制");
    TextFormat(out, u"\r\n当前系统：%s", WindowsVersionName(running));
}
