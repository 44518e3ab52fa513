// Whether each prerequisite runtime is already on this machine: registry
// values in the 32-bit then the 64-bit view, runtime folders and system DLLs.
// Anything unreadable simply means "not present".
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/text.h"

bool ReadRegistryDword(HKEY root, const char16_t* subKey, const char16_t* valueName, DWORD& value);
// Reads a REG_SZ of at least one character's size into at most capacity units
// (the last one forced to 0).
bool ReadRegistryString(HKEY root, const char16_t* subKey, const char16_t* valueName, WideBuffer& value,
                        size_t capacity);

bool IsPrerequisitePresent(int row);
bool IsWindows64Bit();
// From RtlGetVersion; 0 when it cannot be read.
uint32_t WindowsBuildNumber();
