// Changing a child control only when something changes, so a page refresh
// after every status line causes no flicker. Shared by the main window and the
// troubleshooting guide.
#pragma once

#include <windows.h>

#include <string_view>

#include "startup/dpi.h"

// A text of 512 characters or more is always set again.
void SetTextIfChanged(HWND control, std::u16string_view text);
// r in the parent's client coordinates.
void MoveIfChanged(HWND control, const PixelRect& r);
// By the style bit: before a window is shown none of its children counts as visible.
void ShowIfChanged(HWND control, bool visible);
