// Defender through the system's PowerShell: excluding an install folder from
// scanning and asking whether real-time protection is on. Neither ever stops
// an install; the time limits are parameters so tests need not wait them out.
#pragma once

#include <windows.h>

#include "security/defender.h"

// True when folder is in Defender's exclusion list afterwards; message is the
// success text or the reason in every case.
bool AddDefenderExclusion(std::u16string_view folder, WideBuffer& message,
                          DWORD timeLimitMs = kExclusionTimeLimitMs);

// The worker's entry point for each folder of a run.
void AddExclusionOnce(std::u16string_view folder, ExclusionRun& run);

// 1 real-time protection on, 0 off, -1 unknown.
int DefenderStatus(DWORD timeLimitMs = kStatusTimeLimitMs);

// Asks whether this process runs under WOW64: IsWow64Process, looked up at run
// time (a system without it has no WOW64), unless a test puts a failing one here.
extern BOOL(WINAPI* g_isWow64Process)(HANDLE process, PBOOL wow64);
