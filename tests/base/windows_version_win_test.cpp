#include "base/windows_version_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "startup/app_state.h"

namespace {

TEST(CurrentWindowsVersion, DetectsTheTestPrefixAsWindows10AndCaches) {
    // The test prefix reports Windows 10 (10.0.18362, workstation).
    g_app.windowsVersion = {};
    EXPECT_EQ(CurrentWindowsVersion(), kWindows10);
    EXPECT_TRUE(g_app.windowsVersion.computed);
    // Later calls use the cache and never ask the system again.
    g_app.windowsVersion.code = kWindows7;
    EXPECT_EQ(CurrentWindowsVersion(), kWindows7);
    g_app.windowsVersion = {};
}

TEST(IsHostArm64, FallsBackToTheEnvironmentWithoutIsWow64Process2) {
    // Wine has IsWow64Process2 and reports an x86/x64 machine, so the answer is
    // false whatever the environment says.
    SetEnvironmentVariableW(L"PROCESSOR_ARCHITEW6432", L"arm64");
    bool withEnvironment = IsHostArm64();
    SetEnvironmentVariableW(L"PROCESSOR_ARCHITEW6432", nullptr);
    EXPECT_FALSE(IsHostArm64());
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (GetProcAddress(kernel, "IsWow64Process2")) {
        EXPECT_FALSE(withEnvironment);
    } else {
        EXPECT_TRUE(withEnvironment);
    }
}

}  // namespace
