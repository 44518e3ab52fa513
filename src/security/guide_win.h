// The troubleshooting guide window: a non-modal top-level window that walks
// the user through antivirus quarantine, SmartScreen and Smart App Control.
// It never changes a security setting itself.
#pragma once

#include <windows.h>

#include <string_view>

extern const wchar_t kGuideWindowClass[];

// Brings an open guide forward, or opens one showing folderPath (the default
// folder when empty). Called on the user-interface thread, whose message loop
// should pass the guide's messages through IsGuideDialogMessage.
void OpenTroubleshootingGuide(HWND ownerWindow, std::u16string_view folderPath);

// Tab and Enter for the guide window; true when msg was handled.
bool IsGuideDialogMessage(MSG* msg);
