// The Windows side of the emulation settings: reading a file's PE headers, the
// dialog thread that shows the Properties dialog, and the UI Automation driver
// the steps in arm_settings run on.
#pragma once

#include <windows.h>

#include "base/text.h"

bool IsX86Executable(const WideBuffer& path);

// On false, error holds the message for the user.
bool ApplyArmEmulationSettings(HWND owner, const WideBuffer& path, WideBuffer& error);

// Opens the Properties dialog for the user to operate by hand.
bool OpenPropertiesDialog(HWND owner, const WideBuffer& path);
