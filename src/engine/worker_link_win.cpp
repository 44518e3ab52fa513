#include "engine/worker_link_win.h"

#include "startup/app_state.h"

HWND WorkerWindow() { return static_cast<HWND>(g_app.mainWindow); }

bool WorkerStatusCallback(void* context, ProductEntry* product, const char16_t* text) {
    SendMessageW(WorkerWindow(), kWorkerStatus, 0, reinterpret_cast<LPARAM>(text));
    return true;
}
