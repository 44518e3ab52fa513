#include "base/windows_version_win.h"

#include <windows.h>

#include "base/system_win.h"
#include "base/text.h"
#include "base/wide_win.h"
#include "startup/app_state.h"

#ifndef IMAGE_FILE_MACHINE_ARM64
#define IMAGE_FILE_MACHINE_ARM64 0xAA64
#endif

bool ReadKernelVersion(OSVERSIONINFOEXW& info) {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto rtlGetVersion =
        ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
              : nullptr;
    info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    return rtlGetVersion && rtlGetVersion(&info) >= 0;
}

WindowsVersionCode CurrentWindowsVersion() {
    CachedWindowsVersion& cache = g_app.windowsVersion;
    if (cache.computed) return cache.code;
    cache.computed = true;
    OSVERSIONINFOEXW info;
    if (!ReadKernelVersion(info)) return cache.code;
    cache.code = ClassifyWindowsVersion(info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber,
                                        info.wProductType);
    return cache.code;
}

bool IsHostArm64() {
    using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto isWow64Process2 = kernel ? reinterpret_cast<IsWow64Process2Fn>(reinterpret_cast<void*>(
                                        GetProcAddress(kernel, "IsWow64Process2")))
                                  : nullptr;
    USHORT processMachine = 0, nativeMachine = 0;
    if (isWow64Process2 && isWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine)) {
        return nativeMachine == IMAGE_FILE_MACHINE_ARM64;
    }
    WideBuffer value;
    return ReadEnvironmentVariable(L"PROCESSOR_ARCHITEW6432", 33, value) && EqualsNoCase(value, u"ARM64");
}
