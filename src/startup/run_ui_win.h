// The user-interface thread: COM, host facts, default install root, cancel
// event, window class, main window and message loop.
#pragma once

#include <windows.h>

// Returns the process exit code: 0 after the message loop ends, 1 when the
// main window cannot be created.
int RunUserInterface(HINSTANCE instance);

// "D:\Tarnwick软件" when D:\ is a folder, else "C:\Tarnwick软件".
void ChooseDefaultInstallRoot();
