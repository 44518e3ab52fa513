// How work on the worker thread reports to the window: the window it reports
// to and the status callback that sends it lines. Apart from the worker so the
// tasks it runs can report without depending on the worker that runs them.
#pragma once

#include <windows.h>

#include "engine/worker.h"

// The window the worker reports to (the main window, or a stand-in for it).
HWND WorkerWindow();

// The worker's status callback: sends kWorkerStatus with the line (or 0 for
// "records changed" when text is null).
bool WorkerStatusCallback(void* context, ProductEntry* product, const char16_t* text);
