// The product record every subsystem shares, and the catalog table of 64 of
// them: catalog fields, install-record fields, progress and result fields.
#pragma once

#include <cstdint>

#include <memory>

#include "base/text.h"
#include "package/transaction.h"

struct ProductEntry {
    WideBuffer puc_type;            // product number, decimal digits only
    WideBuffer puc_name;
    WideBuffer icon;
    WideBuffer version;
    WideBuffer download_url;
    WideBuffer download_sha256;     // the package's SHA-256 as the catalog pins it; empty: not pinned
    WideBuffer runname;             // main program's file name
    WideBuffer run_arguments;
    WideBuffer error_url;
    WideBuffer complete_url;
    WideBuffer main_program_path;
    WideBuffer last_error;
    WideBuffer status_text = u"等待下载";
    WideBuffer package_path;
    WideBuffer deploy_dir;
    WideBuffer home_url;
    WideBuffer installed_root;
    WideBuffer installed_dir;
    WideBuffer installed_main;
    WideBuffer installed_version;
    WideBuffer busy_file;
    WideBuffer support_os;
    WideBuffer update_description;
    WideBuffer env_warnings;
    bool selected = false;
    bool succeeded = false;
    bool failed = false;
    bool block_suspected = false;
    bool launch_after_install = true;
    bool has_package = false;
    bool progress_indeterminate = false;
    bool has_home_page = false;
    bool installed = false;
    bool installer_type = false;
    bool manifest_invalid = false;
    bool was_installed = false;
    bool uninstalled = false;
    bool os_supported = true;
    bool has_order = false;
    uint32_t failure_kind = 0;
    int64_t order = 0;
    int32_t progress_percent = 0;
    uint32_t env_mask = 0;
    uint64_t bytes_received = 0;
    uint64_t bytes_total = 0;
    std::unique_ptr<InstallTransaction> transaction;  // newest attempt; older ones hang off it
    StringList file_list;
};

constexpr int kCatalogSlots = 64;

struct CatalogTable {
    ProductEntry products[kCatalogSlots];
    int32_t productCount = 0;
    bool lockedProductMissing = false;
    WideBuffer catalogError;
};

// Marks the product failed with message; always returns false so callers can
// write "return RecordFailure(...)".
bool RecordFailure(ProductEntry& product, std::u16string_view message, bool blockSuspected);

// "http://x" or "https://x" (at least one character after the scheme, scheme
// in any case).
bool IsHttpUrl(std::u16string_view text);

// 64 hexadecimal digits, either case: the form of a pinned SHA-256.
bool IsSha256Text(std::u16string_view text);

// A package whose SHA-256 is hash may be used: nothing is pinned, or the pin
// is that hash ignoring ASCII case.
bool PackageMatchesPin(std::u16string_view pin, std::u16string_view hash);

// Whether the product may be chosen in the operation mode (0 install,
// 1 uninstall, 2 update or reinstall).
bool IsEligible(const ProductEntry& product, int32_t operationMode);
