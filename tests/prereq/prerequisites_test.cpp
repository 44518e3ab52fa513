#include "prereq/prerequisites.h"

#include <gtest/gtest.h>

#include "base/deployment.h"

namespace {

TEST(Prerequisites, TableOrderBitsAndCodes) {
    uint32_t seen = 0;
    for (int i = 0; i < kPrerequisiteCount; ++i) {
        const PrerequisiteInfo& row = kPrerequisites[i];
        EXPECT_EQ(row.bit, 1u << i) << i;  // one bit per row, in processing order
        EXPECT_EQ(PrerequisiteBit(row.code), row.bit);
        seen |= row.bit;
    }
    EXPECT_EQ(seen, 0x1FFFu);
    EXPECT_EQ(std::u16string(kPrerequisites[0].code), u"dotnet_framework_35");
    EXPECT_EQ(std::u16string(kPrerequisites[12].code), u"directx_june2010");
    EXPECT_EQ(kPrerequisites[12].arguments, nullptr);
    // Only the 64-bit variants need 64-bit Windows.
    for (int i = 0; i < kPrerequisiteCount; ++i) {
        EXPECT_EQ(kPrerequisites[i].needs64BitWindows, i == 4 || i == 6 || i == 8 || i == 10) << i;
    }
}

TEST(Prerequisites, BitIsExactAndCaseSensitive) {
    EXPECT_EQ(PrerequisiteBit(u"webview2"), 2048u);
    EXPECT_EQ(PrerequisiteBit(u"WebView2"), 0u);
    EXPECT_EQ(PrerequisiteBit(u"webview2 "), 0u);
    EXPECT_EQ(PrerequisiteBit(u""), 0u);
    EXPECT_EQ(PrerequisiteBit(u"vc2019"), 0u);
}

TEST(Prerequisites, DownloadUrlsUseTheDeploymentHosts) {
    EXPECT_EQ(PrerequisiteDownloadUrl(kPrerequisites[0]),
              std::u16string(kMicrosoftLinkOrigin) + u"/fwlink/?LinkID=2337635");
    EXPECT_EQ(PrerequisiteDownloadUrl(kPrerequisites[9]),
              std::u16string(kMicrosoftShortLinkOrigin) + u"/vc14/vc_redist.x86.exe");
    EXPECT_EQ(PrerequisiteDownloadUrl(kPrerequisites[5]),
              std::u16string(kMicrosoftDownloadOrigin) +
                  u"/download/1/6/5/165255E7-1014-4D0A-B094-B6A430A6BFFC/vcredist_x86.exe");
    for (const PrerequisiteInfo& row : kPrerequisites) {
        EXPECT_TRUE(StartsWithNoCase(PrerequisiteDownloadUrl(row), u"http")) << WideToUtf8(row.code);
    }
}

TEST(VersionAtLeast, Texts) {
    struct Case { const char16_t* text; bool atLeast; };
    const Case cases[] = {
        {u"v14.29.30133.00", true},
        {u"14.20.27508", true},
        {u"14.20.27507", false},
        {u"14.19.99999", false},
        {u"15.0.0", true},
        {u"14.20", false},             // two components
        {u"14.4x.1", false},
        {u"  Vv14.20.27508", true},
        {u"14.20.27508.", true},
        {u"14.20.27508.junk", true},   // a fourth component is never read
        {u"14.20.27508 ", false},      // a blank before a third dot
        {u"14..27508", false},
        {u"", false},
        {u"v", false},
        {u"4294967295.0.0", true},
        {u"4294967296.0.0", false},    // does not fit 32 bits
        {u"-14.20.27508", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VersionAtLeast(c.text, 14, 20, 27508), c.atLeast) << WideToUtf8(c.text);
    }
}

TEST(VisualCppRuntimeKey, VersionTenUsesVCRedist) {
    EXPECT_EQ(VisualCppRuntimeKey(u"10.0", u"x86"), u"SOFTWARE\\Microsoft\\VisualStudio\\10.0\\VC\\VCRedist\\x86");
    EXPECT_EQ(VisualCppRuntimeKey(u"14.0", u"x64"), u"SOFTWARE\\Microsoft\\VisualStudio\\14.0\\VC\\Runtimes\\x64");
}

}  // namespace
