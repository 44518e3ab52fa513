// The one background thread that does all slow work for the window: it runs
// one task and talks to the window only through the three worker messages.
#pragma once

#include <windows.h>

#include "base/log.h"
#include "engine/worker.h"

// The thread body; the task is g_app.taskKind. Always ends by posting
// kWorkerFinished to g_app.mainWindow.
DWORD WINAPI WorkerMain(void* unused);

// The window the worker reports to (the main window, or a stand-in for it).
HWND WorkerWindow();

// Posts a decoded icon for catalog slot to window, which then owns it; when
// there is no window or the post fails the bitmap is deleted here.
bool HandIconToWindow(HWND window, int slot, HBITMAP bitmap);

// The worker's status callback: sends kWorkerStatus with the line (or 0 for
// "records changed" when text is null).
bool WorkerStatusCallback(void* context, ProductEntry* product, const char16_t* text);
