// The catalog answer, once transferred, becomes the product table: envelope
// checks, item parsing, the filtered-product notice and the sort. A failed
// load leaves nothing installable.
#pragma once

#include <cstddef>

#include "startup/app_state.h"

extern const char16_t kCatalogFormatError[];

// Loads body into app.catalog, which must be freshly reset. True for a usable
// catalog; otherwise catalogError holds the reason.
bool LoadCatalogDocument(AppState& app, const char* body, size_t length);
