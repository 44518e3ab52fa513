// Turning catalog items into the table of product records: the validation of
// one item with its exact messages, the table's reset, and its ordering.
#pragma once

#include <cstddef>

#include "catalog/product.h"
#include "startup/app_state.h"

// Every slot back to zero, the error text released.
void CatalogRelease(CatalogTable& table);
// Every slot in its reset state: waiting, launch after install, OS supported.
void CatalogReset(CatalogTable& table);

// The element callback for the catalog's "items"; context is the AppState
// whose catalog is being filled. False stops the load with catalogError set.
bool CatalogParseItem(const char* item, size_t length, void* context);

// Orders the filled slots: the preferred product first, then each run of
// slots that carry an order by that order; slots without one stay in place.
void CatalogSort(CatalogTable& table, uint32_t preferredProduct);

// The "order" member's value (raw JSON text): false when it is not accepted.
bool ParseOrderValue(const char* text, size_t length, bool& hasOrder, int64_t& order);

// Splits a catalog runname into file name and arguments.
bool SplitRunname(std::u16string_view runname, WideBuffer& fileName, WideBuffer& arguments);
