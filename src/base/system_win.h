// Small questions asked of the system: error texts and the cancel signal.
#pragma once

#include <windows.h>

#include "base/text.h"

// buf = prefix + "（错误 <code>）<system text for code>"; the system text is
// kept as the system wrote it, line break included, and is empty when the
// system has none.
void FormatSystemError(WideBuffer& buf, std::u16string_view prefix, DWORD code);

// The variable's value when it exists and is shorter than capacity units
// (the buffer the system fills holds capacity units with the terminator).
bool ReadEnvironmentVariable(const wchar_t* name, size_t capacity, WideBuffer& value);

// The Windows folder (read into 32,768 units).
bool WindowsFolder(WideBuffer& folder);

// The folder holding the system's own 64-bit tools on 64-bit Windows:
// <Windows>\System32, or <Windows>\Sysnative when this 32-bit process runs
// under WOW64 (where System32 would silently mean SysWOW64).
bool NativeSystemFolder(WideBuffer& folder);
// IsWow64Process where the system has it; without it there is no WOW64
// (FALSE in wow64, success).
BOOL WINAPI IsWow64ProcessIfPresent(HANDLE process, PBOOL wow64);

// The user's desktop folder as it is now (CSIDL_DESKTOPDIRECTORY).
bool DesktopFolder(WideBuffer& folder);

// True when event is not null and signalled; never waits.
bool IsCancelled(HANDLE event);
