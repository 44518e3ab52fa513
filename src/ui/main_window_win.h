// The wizard's main window.
#pragma once

#include <windows.h>

extern const wchar_t kMainWindowClass[];

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
