// Runs what the worker's catalog load and operation run do, without a window,
// so whole flows can be tested end to end:
//   engine_driver.exe --root DIR --mode install|update|uninstall
//                     (--product N ... | --all) [--purge] [--shortcut]
// Several modes joined by commas ("uninstall,install") run one after the other
// in this one process, as a user's operations in one session of the window.
// Prints one JSON line per selected product to standard output after the last
// run (status lines go to standard error). Exit 0 when every selected product
// succeeded, 1 when one did not, 2 for usage and load errors.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/handles_win.h"
#include "base/text.h"
#include "base/wide_win.h"
#include "catalog/catalog.h"
#include "catalog/catalog_fetch_win.h"
#include "catalog/failure_report_win.h"
#include "engine/process_product_win.h"
#include "package/manifest_win.h"
#include "package/path_safety_win.h"
#include "package/recovery_win.h"
#include "startup/app_state.h"

namespace {

struct Options {
    WideBuffer root;
    std::vector<int32_t> modes;
    std::vector<WideBuffer> products;
    bool all = false, purge = false, shortcut = false;
};

bool ParseModes(std::u16string_view text, std::vector<int32_t>& modes) {
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find(u',', start);
        if (end == std::u16string_view::npos) end = text.size();
        std::u16string_view m = text.substr(start, end - start);
        if (m == u"install") modes.push_back(kModeInstall);
        else if (m == u"update") modes.push_back(kModeUpdate);
        else if (m == u"uninstall") modes.push_back(kModeUninstall);
        else return false;
        start = end + 1;
    }
    return true;
}

bool ParseOptions(int argc, wchar_t** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::u16string_view a = U(argv[i]);
        bool hasValue = i + 1 < argc;
        if (a == u"--root" && hasValue) {
            o.root = U(argv[++i]);
        } else if (a == u"--mode" && hasValue) {
            if (!ParseModes(U(argv[++i]), o.modes)) return false;
        } else if (a == u"--product" && hasValue) {
            o.products.emplace_back(U(argv[++i]));
        } else if (a == u"--all") {
            o.all = true;
        } else if (a == u"--purge") {
            o.purge = true;
        } else if (a == u"--shortcut") {
            o.shortcut = true;
        } else {
            return false;
        }
    }
    return !o.root.empty() && !o.modes.empty() && (o.all != !o.products.empty());
}

std::string JsonString(std::u16string_view text) {
    std::string out = "\"";
    for (char c : WideToUtf8(text)) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void Print(const std::string& line, FILE* stream) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

int Fail(std::u16string_view message) {
    Print("{\"error\": " + JsonString(message) + "}", stdout);
    return 2;
}

bool StatusToStderr(void*, ProductEntry* product, const char16_t* text) {
    std::string line = product ? WideToUtf8(product->puc_type) + ": " : std::string();
    Print(line + WideToUtf8(text), stderr);
    return true;
}

std::string ResultLine(const ProductEntry& p) {
    bool ok = p.succeeded && !p.failed;
    return "{\"puc_type\":" + JsonString(p.puc_type) + ",\"ok\":" + (ok ? "true" : "false") +
           ",\"succeeded\":" + std::to_string(p.succeeded) + ",\"failed\":" + std::to_string(p.failed) +
           ",\"failure_kind\":" + std::to_string(p.failure_kind) + ",\"installed\":" + std::to_string(p.installed) +
           ",\"installed_dir\":" + JsonString(p.installed_dir) + ",\"main_program_path\":" +
           JsonString(p.main_program_path) + ",\"last_error\":" + JsonString(p.last_error) +
           ",\"env_warnings\":" + JsonString(p.env_warnings) + "}";
}

// Catalog slots of the products to run, in table order.
bool SelectProducts(const Options& o, int32_t mode, std::vector<int>& selected, WideBuffer& unknown) {
    CatalogTable& table = g_app.catalog;
    for (const WideBuffer& wanted : o.products) {
        bool found = false;
        for (int i = 0; i < table.productCount; ++i) found |= table.products[i].puc_type == wanted;
        if (!found) {
            unknown = wanted;
            return false;
        }
    }
    for (int i = 0; i < table.productCount; ++i) {
        const ProductEntry& p = table.products[i];
        bool named = false;
        for (const WideBuffer& wanted : o.products) named |= p.puc_type == wanted;
        if (named || (o.all && IsEligible(p, mode))) selected.push_back(i);
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fputs("usage: engine_driver.exe --root DIR --mode install|update|uninstall (--product N ... | --all) "
                   "[--purge] [--shortcut]\n",
                   stderr);
        return 2;
    }
    // The worker's apartment.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    WideBuffer message;
    if (!ValidateInstallRoot(o.root, message)) return Fail(message);
    UniqueHandle cancel(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_app.installRoot = o.root;
    g_app.operationMode = o.modes.front();
    g_app.cancelEvent = cancel.get();
    CatalogReset(g_app.catalog);
    if (!FetchCatalog(g_app, StatusToStderr, nullptr, cancel.get())) return Fail(g_app.catalog.catalogError);
    for (int i = 0; i < g_app.catalog.productCount; ++i) ReadInstallRecord(g_app.catalog.products[i], o.root);

    std::vector<int> selected;
    WideBuffer unknown;
    if (!SelectProducts(o, o.modes.front(), selected, unknown)) return Fail(u"目录中没有产品 " + unknown);
    bool allOk = true;
    for (int32_t mode : o.modes) {
        g_app.operationMode = mode;
        for (int slot : selected) {
            ProductEntry& p = g_app.catalog.products[slot];
            bool ok = ProcessProduct(p, o.root, o.shortcut, mode, o.purge, StatusToStderr, nullptr, cancel.get());
            if (!ok && mode != kModeUninstall) ReportFailure(p);
            allOk &= ok;
        }
    }
    for (int slot : selected) {
        const ProductEntry& p = g_app.catalog.products[slot];
        allOk &= p.succeeded && !p.failed;
        Print(ResultLine(p), stdout);
    }
    return allOk ? 0 : 1;
}
