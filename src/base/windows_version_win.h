// The running system: its Windows version (detected once, then cached in the
// application state) and whether the machine is ARM64 underneath x86 emulation.
#pragma once

#include "base/windows_version.h"

WindowsVersionCode CurrentWindowsVersion();
bool IsHostArm64();
