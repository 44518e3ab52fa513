#include "engine/worker_win.h"

#include "base/picture_win.h"
#include "base/system_win.h"
#include "base/wide_win.h"
#include "catalog/catalog.h"
#include "catalog/catalog_fetch_win.h"
#include "catalog/http_win.h"
#include "engine/operation_tasks_win.h"
#include "engine/worker_link_win.h"
#include "package/recovery_win.h"
#include "startup/app_state.h"
#include "startup/dpi.h"

namespace {

HANDLE Cancel() { return static_cast<HANDLE>(g_app.cancelEvent); }

// Records as they are on disk below the chosen root (an attempt a crash
// interrupted is undone first), and what a locked installer preselects.
void ReadRecords() {
    CatalogTable& table = g_app.catalog;
    for (int i = 0; i < table.productCount; ++i) {
        ProductEntry& product = table.products[i];
        ReadInstallRecord(product, g_app.installRoot);
        product.selected = PresetSelected(product, g_app.productFilter, g_app.operationMode);
    }
}

// Icons are a nicety: any failure leaves the row's default icon.
void FetchIcons() {
    const int32_t side = ScaleForDpi(kIconSide);
    CatalogTable& table = g_app.catalog;
    for (int i = 0; i < table.productCount && !IsCancelled(Cancel()); ++i) {
        const ProductEntry& product = table.products[i];
        ByteBuffer data;
        if (product.icon.empty() || !HttpGetToMemory(product.icon, data, Cancel(), nullptr) ||
            data.size() >= kMaxIconBytes) {
            continue;
        }
        HBITMAP bitmap = DecodePicture(data.data(), data.size(), side, side);
        if (bitmap) HandIconToWindow(WorkerWindow(), i, bitmap);
    }
}

bool LoadCatalogTask() {
    CatalogRelease(g_app.catalog);
    CatalogReset(g_app.catalog);
    bool loaded = FetchCatalog(g_app, WorkerStatusCallback, nullptr, Cancel());
    if (loaded) ReadRecords();
    SendMessageW(WorkerWindow(), kWorkerStatus, 0, 0);  // the list is ready
    FetchIcons();
    return loaded;
}

}  // namespace

bool HandIconToWindow(HWND window, int slot, HBITMAP bitmap) {
    // A window that is gone cannot take the bitmap, and a null window would
    // post to this thread's own queue, where nobody frees it.
    if (window && PostMessageW(window, kProductIconReady, static_cast<WPARAM>(slot),
                               reinterpret_cast<LPARAM>(bitmap))) {
        return true;
    }
    DeleteObject(bitmap);
    return false;
}

DWORD WINAPI WorkerMain(void* unused) {
    HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    bool result = true;
    switch (g_app.taskKind) {
    case kTaskLoadCatalog:
        result = LoadCatalogTask();
        break;
    case kTaskRunOperation:
        result = RunOperationTask(WorkerStatusCallback, nullptr, Cancel());
        break;
    case kTaskOpenPrograms:
        result = OpenProgramsTask(WorkerStatusCallback, nullptr);
        break;
    case kTaskUndo:
        result = UndoTask(WorkerStatusCallback, nullptr);
        break;
    case kTaskArmSettings:
        result = ArmSettingsTask();
        break;
    case kTaskRereadRecords:
        ReadRecords();
        break;
    default:
        result = false;
        break;
    }
    if (SUCCEEDED(com)) CoUninitialize();
    PostMessageW(WorkerWindow(), kWorkerFinished, result ? 1 : 0, 0);
    return 0;
}
