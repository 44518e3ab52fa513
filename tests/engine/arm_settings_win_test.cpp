#include "engine/arm_settings_win.h"

#include <gtest/gtest.h>

#include "base/file_win.h"
#include "base/test_folder_win.h"
#include "base/windows_version_win.h"
#include "engine/arm_settings.h"

namespace {

TEST(IsX86Executable, ReadsTheHeadersOfRealFiles) {
    TestFolder folder;
    WideBuffer self;
    ASSERT_TRUE(ModulePath(self));
    const char text[] = "MZ is not enough: this is a text file that is long enough to hold a DOS header.";
    ASSERT_TRUE(WriteWholeFile(folder / u"notes.exe", text, sizeof(text)));
    struct {
        WideBuffer path;
        bool x86;
    } cases[] = {
        {self, true},  // this test program is an i686 executable
        {folder / u"notes.exe", false},
        {folder / u"missing.exe", false},
        {u"C:\\windows\\syswow64\\kernel32.dll", false},  // a DLL
        {u"C:\\windows\\Sysnative\\notepad.exe", false},  // a 64-bit program
    };
    for (const auto& c : cases) EXPECT_EQ(IsX86Executable(c.path), c.x86) << WideToUtf8(c.path);
}

// The refusal must come before any dialog is opened or any line is logged.
TEST(ApplyArmEmulationSettings, RefusesAtOnceOffArm64WithoutLogging) {
    ASSERT_FALSE(IsHostArm64());
    TestFolder folder;
    ScopedEnvironment scope(L"LOCALAPPDATA", folder.path().c_str());
    WideBuffer self, error;
    ASSERT_TRUE(ModulePath(self));
    EXPECT_FALSE(ApplyArmEmulationSettings(nullptr, self, error));
    EXPECT_EQ(error, kArmNotApplicableText);
    EXPECT_FALSE(FileExists(folder / u"TwParcelwright\\logs\\install.log"));
    EXPECT_FALSE(DirectoryExists(folder / u"TwParcelwright"));
}

}  // namespace
