// The troubleshooting guide window: a non-modal top-level window that walks
// the user through antivirus quarantine, SmartScreen and Smart App Control.
// It never changes a security setting itself.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

extern const wchar_t kGuideWindowClass[];

// Brings an open guide forward, or opens one showing folderPath (the default
// folder when empty). Called on the user-interface thread, whose message loop
// should pass the guide's messages through IsGuideDialogMessage.
void OpenTroubleshootingGuide(HWND ownerWindow, std::u16string_view folderPath);

// Tab and Enter for the guide window; true when msg was handled.
bool IsGuideDialogMessage(MSG* msg);

// The registered security products as the guide's detection threads read them
// (DetectSecurityProducts). A host that drives the guide in tests may put its
// own in before opening a guide, to hold the page that waits for the answer;
// null puts the real one back.
void SetGuideProductDetection(uint32_t (*detect)());
