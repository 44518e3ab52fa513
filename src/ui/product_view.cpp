#include "ui/product_view.h"

namespace {

// At most capacity - 1 code units, as a bounded copy into a fixed array keeps.
WideBuffer Cut(const WideBuffer& text, size_t capacity) { return text.substr(0, capacity - 1); }

template <typename Test>
int32_t CountChosen(const CatalogTable& catalog, const ProductView* views, Test test) {
    int32_t n = 0;
    for (int32_t i = 0; i < catalog.productCount && i < kCatalogSlots; ++i) {
        if (catalog.products[i].selected && test(views[i])) ++n;
    }
    return n;
}

}  // namespace

void CopyProductView(const ProductEntry& p, ProductView& v) {
    v.name = Cut(p.puc_name, 180);
    v.version = Cut(p.version, 80);
    v.statusText = Cut(p.status_text, 200);
    v.lastError = Cut(p.last_error, 1300);
    v.envWarnings = Cut(p.env_warnings, 1100);
    v.updateDescription = Cut(p.update_description, 1024);
    v.installedVersion = Cut(p.installed_version, 80);
    v.selected = p.selected;
    v.hasPackage = p.has_package;
    v.succeeded = p.succeeded;
    v.failed = p.failed;
    v.launchAfterInstall = p.launch_after_install;
    v.hasHomePage = p.has_home_page;
    v.suspectedBlock = p.block_suspected;
    v.hasMainProgram = !p.runname.empty() && !p.main_program_path.empty();
    // Only web addresses: a catalog value such as a local program path must never be opened elevated.
    v.hasErrorUrl = IsHttpUrl(p.error_url);
    v.hasCompleteUrl = IsHttpUrl(p.complete_url);
    v.hasEnvWarnings = !p.env_warnings.empty();
    v.sameVersion = !p.installed_version.empty() && !p.version.empty() && p.installed_version == p.version;
    v.progressPercent = p.progress_percent;
    for (int32_t mode = 0; mode < 3; ++mode) v.eligible[mode] = IsEligible(p, mode);
}

bool IsViewEligible(const ProductView& v, int32_t mode) { return mode >= 0 && mode < 3 && v.eligible[mode]; }

int32_t SucceededCount(const CatalogTable& catalog, const ProductView* views) {
    return CountChosen(catalog, views, [](const ProductView& v) { return v.succeeded && !v.failed; });
}

int32_t UnfinishedCount(const CatalogTable& catalog, const ProductView* views) {
    return CountChosen(catalog, views, [](const ProductView& v) { return v.failed; });
}

int32_t WarningCount(const CatalogTable& catalog, const ProductView* views) {
    return CountChosen(catalog, views, [](const ProductView& v) { return v.hasEnvWarnings; });
}

bool AnyInstalled(const CatalogTable& catalog) {
    for (int32_t i = 0; i < catalog.productCount && i < kCatalogSlots; ++i) {
        if (catalog.products[i].installed) return true;
    }
    return false;
}

bool IsModeAvailable(const CatalogTable& catalog, int32_t mode) {
    for (int32_t i = 0; i < catalog.productCount && i < kCatalogSlots; ++i) {
        const ProductEntry& p = catalog.products[i];
        if (!p.installed || p.manifest_invalid) continue;
        if (mode == 1) return true;
        if (mode == 2 && p.has_package && p.os_supported &&
            (p.installed_version.empty() || p.version.empty() || p.installed_version != p.version)) {
            return true;
        }
    }
    return false;
}
