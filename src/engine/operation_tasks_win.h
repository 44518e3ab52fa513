// Tasks 2 to 5 of the worker: run the chosen operation over the products in
// scope (Defender step first, ARM step after each product), open the installed
// programs, undo, and apply ARM settings to one chosen program.
#pragma once

#include <windows.h>

#include "base/log.h"
#include "catalog/product.h"
#include "engine/worker.h"

// Every transaction of the product, newest first: restore undoes what was not
// committed and then removes temporary files; otherwise only the latter.
void RollbackOrFinish(ProductEntry& product, bool restore, StatusCallback callback, void* context);

bool RunOperationTask(StatusCallback callback, void* context, HANDLE cancelEvent);
bool OpenProgramsTask(StatusCallback callback, void* context);
bool UndoTask(StatusCallback callback, void* context);
bool ArmSettingsTask();
