#include "prereq/detect_win.h"

#include <gtest/gtest.h>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/test_folder_win.h"
#include "base/wide_win.h"

namespace {

// Sets one registry value in one view of the test prefix and removes it again.
class ScopedValue {
public:
    ScopedValue(HKEY root, const char16_t* subKey, REGSAM view, const char16_t* name, DWORD type,
                const void* data, DWORD size)
        : name_(name) {
        EXPECT_EQ(RegCreateKeyExW(root, W(subKey), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key_.receive(),
                                  nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key_.get(), W(name), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    static ScopedValue Dword(HKEY root, const char16_t* subKey, REGSAM view, const char16_t* name, DWORD value) {
        return ScopedValue(root, subKey, view, name, REG_DWORD, &value, sizeof(value));
    }
    static ScopedValue String(HKEY root, const char16_t* subKey, REGSAM view, const char16_t* name,
                              const char16_t* text, DWORD type = REG_SZ) {
        return ScopedValue(root, subKey, view, name, type, text,
                           static_cast<DWORD>((std::u16string(text).size() + 1) * 2));
    }
    ScopedValue(ScopedValue&&) = default;
    ~ScopedValue() {
        if (key_) RegDeleteValueW(key_.get(), W(name_));
    }

private:
    UniqueRegKey key_;
    WideBuffer name_;
};

const char16_t kNdp35[] = u"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v3.5";
const char16_t kNdp4[] = u"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full";
const char16_t kVc2019x86[] = u"SOFTWARE\\Microsoft\\VisualStudio\\14.0\\VC\\Runtimes\\x86";
const char16_t kVc2019x64[] = u"SOFTWARE\\Microsoft\\VisualStudio\\14.0\\VC\\Runtimes\\x64";
const char16_t kVc2010x86[] = u"SOFTWARE\\Microsoft\\VisualStudio\\10.0\\VC\\VCRedist\\x86";
const char16_t kVc2013x64[] = u"SOFTWARE\\Microsoft\\VisualStudio\\12.0\\VC\\Runtimes\\x64";
const char16_t kWebView2[] = u"SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";

TEST(DetectPrerequisites, TestPrefixIs64BitWindows10) {
    EXPECT_TRUE(IsWindows64Bit());
    EXPECT_EQ(WindowsBuildNumber(), 18362u);
}

TEST(DetectPrerequisites, DotNetFramework) {
    EXPECT_FALSE(IsPrerequisitePresent(0));
    {
        // A DWORD stored as a string does not count.
        ScopedValue text = ScopedValue::String(HKEY_LOCAL_MACHINE, kNdp35, KEY_WOW64_32KEY, u"Install", u"1");
        EXPECT_FALSE(IsPrerequisitePresent(0));
    }
    {
        ScopedValue two = ScopedValue::Dword(HKEY_LOCAL_MACHINE, kNdp35, KEY_WOW64_32KEY, u"Install", 2);
        EXPECT_FALSE(IsPrerequisitePresent(0));
    }
    {
        // Only in the 64-bit view: found after the 32-bit view has nothing.
        ScopedValue one = ScopedValue::Dword(HKEY_LOCAL_MACHINE, kNdp35, KEY_WOW64_64KEY, u"Install", 1);
        EXPECT_TRUE(IsPrerequisitePresent(0));
    }
    struct Case { DWORD release; bool is48, is481; };
    const Case cases[] = {{528039, false, false}, {528040, true, false}, {533319, true, false}, {533320, true, true}};
    for (const Case& c : cases) {
        ScopedValue release = ScopedValue::Dword(HKEY_LOCAL_MACHINE, kNdp4, KEY_WOW64_32KEY, u"Release", c.release);
        EXPECT_EQ(IsPrerequisitePresent(1), c.is48) << c.release;
        EXPECT_EQ(IsPrerequisitePresent(2), c.is481) << c.release;
    }
    {
        // The 32-bit view answers first, even when the 64-bit view has a larger value.
        ScopedValue low = ScopedValue::Dword(HKEY_LOCAL_MACHINE, kNdp4, KEY_WOW64_32KEY, u"Release", 528040);
        ScopedValue high = ScopedValue::Dword(HKEY_LOCAL_MACHINE, kNdp4, KEY_WOW64_64KEY, u"Release", 533320);
        EXPECT_FALSE(IsPrerequisitePresent(2));
    }
    {
        // A binary value of four bytes is not a DWORD.
        DWORD bits = 533320;
        ScopedValue binary(HKEY_LOCAL_MACHINE, kNdp4, KEY_WOW64_32KEY, u"Release", REG_BINARY, &bits, 4);
        EXPECT_FALSE(IsPrerequisitePresent(1));
    }
}

TEST(DetectPrerequisites, VisualCpp) {
    EXPECT_FALSE(IsPrerequisitePresent(5));
    {
        ScopedValue installed = ScopedValue::Dword(HKEY_LOCAL_MACHINE, kVc2010x86, KEY_WOW64_32KEY, u"Installed", 1);
        EXPECT_TRUE(IsPrerequisitePresent(5));
        EXPECT_FALSE(IsPrerequisitePresent(6));
    }
    {
        ScopedValue installed = ScopedValue::Dword(HKEY_LOCAL_MACHINE, kVc2013x64, KEY_WOW64_64KEY, u"Installed", 1);
        EXPECT_TRUE(IsPrerequisitePresent(8));
        EXPECT_FALSE(IsPrerequisitePresent(7));
    }
    struct Case { const char16_t* version; bool present; };
    const Case cases[] = {{u"v14.29.30133.00", true}, {u"14.20.27508", true}, {u"14.20.27507", false},
                          {u"14.20", false}, {u"", false}};
    ScopedValue installed = ScopedValue::Dword(HKEY_LOCAL_MACHINE, kVc2019x86, KEY_WOW64_32KEY, u"Installed", 1);
    EXPECT_FALSE(IsPrerequisitePresent(9));  // no version at all
    for (const Case& c : cases) {
        ScopedValue version = ScopedValue::String(HKEY_LOCAL_MACHINE, kVc2019x86, KEY_WOW64_32KEY, u"Version", c.version);
        EXPECT_EQ(IsPrerequisitePresent(9), c.present) << WideToUtf8(c.version);
    }
    {
        ScopedValue expand = ScopedValue::String(HKEY_LOCAL_MACHINE, kVc2019x86, KEY_WOW64_32KEY, u"Version",
                                                 u"14.29.30133", REG_EXPAND_SZ);
        EXPECT_FALSE(IsPrerequisitePresent(9));  // only a plain string counts
    }
    {
        // Too long for the 128-unit destination: refused, not truncated.
        std::u16string longVersion = u"14.29.30133." + std::u16string(200, u'9');
        ScopedValue version = ScopedValue::String(HKEY_LOCAL_MACHINE, kVc2019x86, KEY_WOW64_32KEY, u"Version",
                                                  longVersion.c_str());
        EXPECT_FALSE(IsPrerequisitePresent(9));
    }
    ScopedValue x64 = ScopedValue::Dword(HKEY_LOCAL_MACHINE, kVc2019x64, KEY_WOW64_64KEY, u"Installed", 1);
    ScopedValue x64Version =
        ScopedValue::String(HKEY_LOCAL_MACHINE, kVc2019x64, KEY_WOW64_64KEY, u"Version", u"14.40.33810.00");
    EXPECT_TRUE(IsPrerequisitePresent(10));
}

TEST(DetectPrerequisites, WebView2FallsBackToTheCurrentUser) {
    EXPECT_FALSE(IsPrerequisitePresent(11));
    {
        ScopedValue machine = ScopedValue::String(HKEY_LOCAL_MACHINE, kWebView2, KEY_WOW64_32KEY, u"pv", u"0.0.0.0");
        EXPECT_FALSE(IsPrerequisitePresent(11));
        ScopedValue user = ScopedValue::String(HKEY_CURRENT_USER, kWebView2, KEY_WOW64_32KEY, u"pv", u"120.0.2210.91");
        EXPECT_TRUE(IsPrerequisitePresent(11));
    }
    {
        ScopedValue empty = ScopedValue::String(HKEY_LOCAL_MACHINE, kWebView2, KEY_WOW64_64KEY, u"pv", u"");
        EXPECT_FALSE(IsPrerequisitePresent(11));
    }
    ScopedValue machine = ScopedValue::String(HKEY_LOCAL_MACHINE, kWebView2, KEY_WOW64_64KEY, u"pv", u"131.0.1");
    EXPECT_TRUE(IsPrerequisitePresent(11));
}

TEST(DetectPrerequisites, DesktopRuntimeNeedsAVersion8Folder) {
    TestFolder x86, x64;
    ScopedEnvironment programFiles(L"ProgramFiles", x86.path().c_str());
    ScopedEnvironment programW6432(L"ProgramW6432", x64.path().c_str());
    WideBuffer shared86 = x86 / u"dotnet\\shared\\Microsoft.WindowsDesktop.App";
    WideBuffer shared64 = x64 / u"dotnet\\shared\\Microsoft.WindowsDesktop.App";
    ASSERT_TRUE(CreateDirectoryTree(shared86));
    ASSERT_TRUE(CreateDirectoryTree(shared64 + u"\\6.0.36"));
    EXPECT_FALSE(IsPrerequisitePresent(3));
    EXPECT_FALSE(IsPrerequisitePresent(4));
    ASSERT_TRUE(WriteWholeFile(shared86 + u"\\8.0.1", "x", 1));  // a file, not a folder
    EXPECT_FALSE(IsPrerequisitePresent(3));
    // A link (reparse point) to a real runtime folder does not count.
    ASSERT_TRUE(CreateDirectoryTree(x64 / u"elsewhere\\8.0.5"));
    ASSERT_TRUE(MakeUnixSymlink(x64 / u"elsewhere\\8.0.5", shared86 + u"\\8.0.5"));
    ASSERT_EQ(GetFileAttributesW(W(shared86 + u"\\8.0.5")) & FILE_ATTRIBUTE_REPARSE_POINT,
              static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT));
    EXPECT_FALSE(IsPrerequisitePresent(3));
    ASSERT_TRUE(CreateDirectoryTree(shared86 + u"\\8.0.11"));
    EXPECT_TRUE(IsPrerequisitePresent(3));
    EXPECT_FALSE(IsPrerequisitePresent(4));  // each row looks in its own folder
    ASSERT_TRUE(CreateDirectoryTree(shared64 + u"\\8.0.11"));
    EXPECT_TRUE(IsPrerequisitePresent(4));
}

TEST(DetectPrerequisites, DesktopRuntimeWithoutTheVariable) {
    ScopedEnvironment programFiles(L"ProgramFiles", nullptr);
    EXPECT_FALSE(IsPrerequisitePresent(3));
}

TEST(DetectPrerequisites, DirectXNeedsAllFilesInBothSystemFolders) {
    // Wine ships these six DLLs in both system folders, so the runtime counts
    // as present until one is moved away.
    EXPECT_TRUE(IsPrerequisitePresent(12));
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    for (const char16_t* folder : {u"\\SysWOW64\\", u"\\Sysnative\\"}) {
        WideBuffer file = WideBuffer(U(windows)) + folder + u"XInput1_3.dll";
        WideBuffer aside = file + u".aside";
        ASSERT_TRUE(MoveFileW(W(file), W(aside)));
        EXPECT_FALSE(IsPrerequisitePresent(12)) << WideToUtf8(folder);
        ASSERT_TRUE(MoveFileW(W(aside), W(file)));
    }
    EXPECT_TRUE(IsPrerequisitePresent(12));
    EXPECT_FALSE(IsPrerequisitePresent(13));
    EXPECT_FALSE(IsPrerequisitePresent(-1));
}

}  // namespace
