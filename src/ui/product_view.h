// What the window paints of a product: a copy of its record taken on the
// window's thread, so painting never reads a text the worker is writing.
#pragma once

#include <cstdint>

#include "base/text.h"
#include "catalog/product.h"

struct ProductView {
    WideBuffer name, version, statusText, lastError, envWarnings, updateDescription, installedVersion;
    bool selected = false, hasPackage = false, succeeded = false, failed = false, launchAfterInstall = false,
         hasHomePage = false, suspectedBlock = false, hasMainProgram = false, hasErrorUrl = false,
         hasCompleteUrl = false, hasEnvWarnings = false, sameVersion = false;
    int32_t progressPercent = 0;
    // Whether the product may be chosen in modes 0, 1 and 2, taken at the copy:
    // eligibility reads versions the worker rewrites.
    bool eligible[3] = {false, false, false};
    void* iconBitmap = nullptr;  // HBITMAP, owned by the window; not touched by CopyProductView
};

// Copies product into view (texts cut to their display capacities; the icon is kept).
void CopyProductView(const ProductEntry& product, ProductView& view);

// The eligibility captured at the last copy; false for an unknown mode.
bool IsViewEligible(const ProductView& view, int32_t operationMode);

// Over the chosen products (selected in the catalog), from their views.
int32_t SucceededCount(const CatalogTable& catalog, const ProductView* views);
int32_t UnfinishedCount(const CatalogTable& catalog, const ProductView* views);
int32_t WarningCount(const CatalogTable& catalog, const ProductView* views);
// Some product, chosen or not, is installed.
bool AnyInstalled(const CatalogTable& catalog);
// Whether the welcome page offers mode 1 (uninstall) or 2 (update).
bool IsModeAvailable(const CatalogTable& catalog, int32_t mode);
