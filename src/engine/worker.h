// The background worker's task numbers and messages, and the decisions of its
// catalog tasks that need no system.
#pragma once

#include <cstdint>

#include "catalog/product.h"

enum WorkerTask : int32_t {
    kTaskLoadCatalog = 1,
    kTaskRunOperation = 2,
    kTaskOpenPrograms = 3,
    kTaskUndo = 4,
    kTaskArmSettings = 5,
    kTaskRereadRecords = 6,
};

// WM_APP + 1..3.
constexpr uint32_t kWorkerStatus = 0x8001;      // sent; lParam: a status line, or 0 when records changed
constexpr uint32_t kWorkerFinished = 0x8002;    // posted once, last; wParam: 1 success, 0 failure
constexpr uint32_t kProductIconReady = 0x8003;  // posted; wParam: slot, lParam: bitmap the window then owns

// Icons of 4 MiB or more are never decoded.
constexpr size_t kMaxIconBytes = 0x400000;
// The icon's side in 1/96 inch.
constexpr int32_t kIconSide = 44;

// A locked installer preselects what it may act on; otherwise the user picks.
bool PresetSelected(const ProductEntry& product, uint32_t productFilter, int32_t operationMode);
