// Runs the worker's tasks without the main window (a message-only window takes
// its messages), so whole flows can be tested end to end:
//   engine_driver.exe --root DIR --mode install|update|uninstall
//                     (--product N ... | --all) [--purge] [--shortcut]
//                     [--open [--cleanup]] [--cancel-on TEXT] [--retry-failed] [--direct]
// Task 1 loads the catalog, task 2 runs the operation; --open then runs task 3,
// --cancel-on sets the cancel event when a status line of task 2 contains TEXT
// and then runs task 4 (undo) as the window does, --retry-failed runs task 2
// again for the failed products only. --direct calls the product operations
// without the worker (the crash tests kill that simpler path).
// Several modes joined by commas ("uninstall,install") run one after the other
// in this one process, as a user's operations in one session of the window.
// Prints one JSON line per selected product to standard output after the last
// run (status lines go to standard error). Exit 0 when every selected product
// succeeded, 1 when one did not, 2 for usage and load errors.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/handles_win.h"
#include "base/text.h"
#include "base/wide_win.h"
#include "catalog/catalog.h"
#include "catalog/catalog_fetch_win.h"
#include "catalog/failure_report_win.h"
#include "engine/process_product_win.h"
#include "engine/worker_win.h"
#include "package/held_path_win.h"
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
    bool open = false, cleanup = false, retryFailed = false, direct = false;
    WideBuffer cancelOn;
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
        } else if (a == u"--open") {
            o.open = true;
        } else if (a == u"--cleanup") {
            o.cleanup = true;
        } else if (a == u"--retry-failed") {
            o.retryFailed = true;
        } else if (a == u"--direct") {
            o.direct = true;
        } else if (a == u"--cancel-on" && hasValue) {
            o.cancelOn = U(argv[++i]);
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

// --- through the worker ------------------------------------------------------

struct WorkerRun {
    const Options* options = nullptr;
    bool cancelArmed = false;  // task 2 runs and --cancel-on was given
    bool cancelled = false;
    bool finished = false;
    bool result = false;
};
WorkerRun g_run;

LRESULT CALLBACK DriverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kWorkerStatus) {
        const char16_t* line = reinterpret_cast<const char16_t*>(lParam);
        if (line) {
            Print(WideToUtf8(line), stderr);
            if (g_run.cancelArmed && std::u16string_view(line).find(g_run.options->cancelOn) != std::u16string_view::npos) {
                SetEvent(static_cast<HANDLE>(g_app.cancelEvent));
                g_run.cancelled = true;
            }
        }
        return 0;
    }
    if (message == kWorkerFinished) {
        g_run.finished = true;
        g_run.result = wParam != 0;
        return 0;
    }
    if (message == kProductIconReady) {
        DeleteObject(reinterpret_cast<HBITMAP>(lParam));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Starts one task the way the window does and pumps messages until it ends.
bool RunTask(int32_t kind) {
    g_app.taskKind = kind;
    g_app.workerBusy = true;
    ResetEvent(static_cast<HANDLE>(g_app.cancelEvent));
    g_run.finished = false;
    UniqueHandle thread(CreateThread(nullptr, 0, WorkerMain, nullptr, 0, nullptr));
    if (!thread) return false;
    MSG msg;
    while (!g_run.finished && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    WaitForSingleObject(thread.get(), INFINITE);
    g_app.workerBusy = false;
    return g_run.result;
}

HWND CreateMessageWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DriverWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TwEngineDriver";
    RegisterClassW(&wc);
    return CreateWindowExW(0, L"TwEngineDriver", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

int RunThroughWorker(const Options& o, const std::vector<int>& selected) {
    CatalogTable& table = g_app.catalog;
    for (int i = 0; i < table.productCount; ++i) table.products[i].selected = false;
    for (int slot : selected) table.products[slot].selected = true;
    g_app.createShortcut = o.shortcut;
    g_app.purgeOnUninstall = o.purge;
    g_app.cleanupAfterLaunch = o.cleanup;
    g_run.options = &o;
    for (int32_t mode : o.modes) {
        g_app.operationMode = mode;
        g_app.rowFilter = kRowFilterAllSelected;
        g_run.cancelArmed = !o.cancelOn.empty();
        RunTask(kTaskRunOperation);
        g_run.cancelArmed = false;
        if (g_run.cancelled) {
            RunTask(kTaskUndo);
            break;
        }
        if (o.retryFailed) {
            g_app.rowFilter = kRowFilterFailedOnly;
            RunTask(kTaskRunOperation);
        }
    }
    if (o.open && !g_run.cancelled) RunTask(kTaskOpenPrograms);
    bool allOk = true;
    for (int slot : selected) {
        const ProductEntry& p = table.products[slot];
        allOk &= p.succeeded && !p.failed;
        Print(ResultLine(p), stdout);
    }
    return allOk ? 0 : 1;
}

// --- without the worker ---------------------------------------------------------

int RunDirect(const Options& o, const std::vector<int>& selected, HANDLE cancel) {
    bool allOk = true;
    for (int32_t mode : o.modes) {
        g_app.operationMode = mode;
        for (int slot : selected) {
            ProductEntry& p = g_app.catalog.products[slot];
            bool ok = ProcessProduct(p, o.root, o.shortcut, mode, o.purge, StatusToStderr, nullptr, cancel);
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

// Crash tests: TW_END_AFTER_HELD_FILES=N ends the process at once, as a crash
// would, when the N-th file is held just before it is written or deleted, so
// that a seed picks the moment without any timing.
DWORD EndAtHeldFile(const WideBuffer&, void* context) {
    auto* left = static_cast<unsigned long*>(context);
    if (--*left == 0) TerminateProcess(GetCurrentProcess(), 86);
    return 0;
}

void ArmEndAfterHeldFiles() {
    static unsigned long left = 0;
    wchar_t text[32];
    DWORD n = GetEnvironmentVariableW(L"TW_END_AFTER_HELD_FILES", text, 32);
    if (n == 0 || n >= 32) return;
    left = std::wcstoul(text, nullptr, 10);
    if (left > 0) SetHeldPathHook(EndAtHeldFile, &left);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fputs("usage: engine_driver.exe --root DIR --mode install|update|uninstall (--product N ... | --all) "
                   "[--purge] [--shortcut] [--open [--cleanup]] [--cancel-on TEXT] [--retry-failed] [--direct]\n",
                   stderr);
        return 2;
    }
    ArmEndAfterHeldFiles();
    // The worker's apartment, for the direct path.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    WideBuffer message;
    if (!ValidateInstallRoot(o.root, message)) return Fail(message);
    UniqueHandle cancel(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_app.installRoot = o.root;
    g_app.operationMode = o.modes.front();
    g_app.cancelEvent = cancel.get();
    if (o.direct) {
        CatalogReset(g_app.catalog);
        if (!FetchCatalog(g_app, StatusToStderr, nullptr, cancel.get())) return Fail(g_app.catalog.catalogError);
        for (int i = 0; i < g_app.catalog.productCount; ++i) ReadInstallRecord(g_app.catalog.products[i], o.root);
    } else {
        g_app.mainWindow = CreateMessageWindow();
        if (!g_app.mainWindow) return Fail(u"无法创建消息窗口。");
        if (!RunTask(kTaskLoadCatalog)) return Fail(g_app.catalog.catalogError);
    }
    std::vector<int> selected;
    WideBuffer unknown;
    if (!SelectProducts(o, o.modes.front(), selected, unknown)) return Fail(u"目录中没有产品 " + unknown);
    return o.direct ? RunDirect(o, selected, cancel.get()) : RunThroughWorker(o, selected);
}
