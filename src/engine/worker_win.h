// The one background thread that does all slow work for the window: it runs
// one task and talks to the window only through the three worker messages.
#pragma once

#include <windows.h>

#include "base/log.h"
#include "engine/worker.h"

// The thread body; the task is g_app.taskKind. Always ends by posting
// kWorkerFinished to g_app.mainWindow.
DWORD WINAPI WorkerMain(void* unused);

// Posts a decoded icon for catalog slot to window, which then owns it; when
// there is no window or the post fails the bitmap is deleted here.
bool HandIconToWindow(HWND window, int slot, HBITMAP bitmap);
