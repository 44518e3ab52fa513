#include "prereq/prerequisites.h"

#include "base/deployment.h"
#include "base/text_format.h"

const PrerequisiteInfo kPrerequisites[kPrerequisiteCount] = {
    {u"dotnet_framework_35", 1, u".NET Framework 3.5", kLinkRedirector, u"/fwlink/?LinkID=2337635",
     u"/q /norestart", false},
    {u"dotnet_framework_48", 2, u".NET Framework 4.8", kLinkRedirector, u"/fwlink/?linkid=2088631",
     u"/q /norestart", false},
    {u"dotnet_framework_481", 4, u".NET Framework 4.8.1", kLinkRedirector, u"/fwlink/?linkid=2203305",
     u"/q /norestart", false},
    {u"dotnet_desktop_8_x86", 8, u".NET 8 桌面运行时（32 位）", kShortLink,
     u"/dotnet/8.0/windowsdesktop-runtime-win-x86.exe", u"/install /quiet /norestart", false},
    {u"dotnet_desktop_8_x64", 16, u".NET 8 桌面运行时（64 位）", kShortLink,
     u"/dotnet/8.0/windowsdesktop-runtime-win-x64.exe", u"/install /quiet /norestart", true},
    {u"vc2010_x86", 32, u"VC++ 2010（32 位）", kDownloadCenter,
     u"/download/1/6/5/165255E7-1014-4D0A-B094-B6A430A6BFFC/vcredist_x86.exe", u"/q /norestart", false},
    {u"vc2010_x64", 64, u"VC++ 2010（64 位）", kDownloadCenter,
     u"/download/1/6/5/165255E7-1014-4D0A-B094-B6A430A6BFFC/vcredist_x64.exe", u"/q /norestart", true},
    {u"vc2013_x86", 128, u"VC++ 2013（32 位）", kShortLink, u"/highdpimfc2013x86enu",
     u"/install /quiet /norestart", false},
    {u"vc2013_x64", 256, u"VC++ 2013（64 位）", kShortLink, u"/highdpimfc2013x64enu",
     u"/install /quiet /norestart", true},
    {u"vc2019_x86", 512, u"VC++ 2019（32 位）", kShortLink, u"/vc14/vc_redist.x86.exe",
     u"/install /quiet /norestart", false},
    {u"vc2019_x64", 1024, u"VC++ 2019（64 位）", kShortLink, u"/vc14/vc_redist.x64.exe",
     u"/install /quiet /norestart", true},
    {u"webview2", 2048, u"Microsoft Edge WebView2 Runtime", kLinkRedirector, u"/fwlink/p/?LinkId=2124703",
     u"/silent /install", false},
    {u"directx_june2010", 4096, u"DirectX 运行库（2010 年 6 月版）", kDownloadCenter,
     u"/download/8/4/a/84a35bf1-dafe-4ae8-82af-ad2ae20b6b14/directx_Jun2010_redist.exe", nullptr, false},
};

uint32_t PrerequisiteBit(std::u16string_view code) {
    for (const PrerequisiteInfo& row : kPrerequisites) {
        if (code == row.code) return row.bit;
    }
    return 0;
}

WideBuffer PrerequisiteDownloadUrl(const PrerequisiteInfo& row) {
    const char16_t* origin = row.host == kLinkRedirector ? kMicrosoftLinkOrigin
                             : row.host == kShortLink    ? kMicrosoftShortLinkOrigin
                                                         : kMicrosoftDownloadOrigin;
    return WideBuffer(origin) + row.linkPath;
}

bool VersionAtLeast(std::u16string_view text, uint32_t major, uint32_t minor, uint32_t build) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'V' || text[i] == u'v')) ++i;
    if (i >= text.size()) return false;
    uint32_t parts[3] = {0, 0, 0};
    int count = 0;
    while (count < 3) {
        uint64_t value = 0;
        size_t start = i;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
            value = value * 10 + (text[i] - u'0');
            if (value > 0xFFFFFFFFu) return false;
            ++i;
        }
        if (i == start) return false;  // an empty component, or a non-digit
        parts[count++] = static_cast<uint32_t>(value);
        if (i >= text.size()) break;
        if (text[i] != u'.') return false;
        ++i;  // a third "." ends reading; what follows is ignored
    }
    if (count < 3) return false;
    const uint32_t wanted[3] = {major, minor, build};
    for (int k = 0; k < 3; ++k) {
        if (parts[k] != wanted[k]) return parts[k] > wanted[k];
    }
    return true;
}

WideBuffer VisualCppRuntimeKey(const char16_t* version, const char16_t* architecture) {
    WideBuffer key;
    TextFormat(key, u"SOFTWARE\\Microsoft\\VisualStudio\\%s\\VC\\%s\\%s", version,
               WideBuffer(version) == u"10.0" ? u"VCRedist" : u"Runtimes", architecture);
    return key;
}
