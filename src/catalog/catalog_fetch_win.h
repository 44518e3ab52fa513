// Loads the catalog from the vendor web server into the product table.
#pragma once

#include <windows.h>

#include "base/log.h"
#include "startup/app_state.h"

// The table must be freshly released and reset. True when the catalog is
// usable; otherwise catalogError tells the user why.
bool FetchCatalog(AppState& app, StatusCallback callback, void* context, HANDLE cancelEvent);
