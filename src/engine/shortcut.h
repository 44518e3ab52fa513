// Desktop shortcuts to installed programs: what the link is called and where
// it is first saved. The shell-link calls live in shortcut_win.
#pragma once

#include "base/text.h"

// Saved here inside the transaction's work folder, then deployed like any file.
extern const char16_t kStagedShortcutName[];

// The product's folder name with ".lnk": the same characters are unsafe in
// both, so the link and the folder read alike.
WideBuffer DesktopLinkName(std::u16string_view pucName);
