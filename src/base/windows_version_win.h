// The running system: its Windows version (detected once, then cached in the
// application state) and whether the machine is ARM64 underneath x86 emulation.
#pragma once

#include <windows.h>

#include "base/windows_version.h"

// The kernel's own version record (GetVersionEx lies to programs without a
// compatibility entry); false when RtlGetVersion is missing or fails.
bool ReadKernelVersion(OSVERSIONINFOEXW& info);

WindowsVersionCode CurrentWindowsVersion();
bool IsHostArm64();
