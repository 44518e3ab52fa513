#include "engine/worker_win.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/file_win.h"
#include "base/picture_encoder_win.h"
#include "base/test_folder_win.h"
#include "catalog/catalog.h"
#include "catalog/vendor_server_win.h"
#include "startup/app_state.h"

namespace {

// What the window would see: status lines (or "<records>" for lParam 0), icons
// with their size, and the finish with its result.
struct Seen {
    std::vector<std::string> events;
    bool finished = false;
    HANDLE cancelWhenListed = nullptr;  // the user cancels as soon as the list shows
};
Seen g_seen;

LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kWorkerStatus) {
        const char16_t* line = reinterpret_cast<const char16_t*>(lParam);
        g_seen.events.push_back(line ? "status " + WideToUtf8(line) : "<records>");
        if (!line && g_seen.cancelWhenListed) SetEvent(g_seen.cancelWhenListed);
        return 0;
    }
    if (message == kProductIconReady) {
        BITMAP info = {};
        GetObjectW(reinterpret_cast<HBITMAP>(lParam), sizeof(info), &info);
        g_seen.events.push_back("icon " + std::to_string(wParam) + " " + std::to_string(info.bmWidth) + "x" +
                                std::to_string(info.bmHeight));
        DeleteObject(reinterpret_cast<HBITMAP>(lParam));
        return 0;
    }
    if (message == kWorkerFinished) {
        g_seen.events.push_back("finished " + std::to_string(wParam));
        g_seen.finished = true;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Runs one task on a worker thread against a message-only window, as the
// main window does, and pumps its messages until the task has finished.
struct WorkerScene {
    TestFolder folder;
    ScopedEnvironment data{L"LOCALAPPDATA", (folder / u"data").c_str()};
    UniqueHandle cancel{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HWND window = nullptr;

    WorkerScene() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = RecordingWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TwWorkerTest";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, L"TwWorkerTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        g_app.mainWindow = window;
        g_app.cancelEvent = cancel.get();
        g_app.installRoot = folder / u"root";
        g_app.productFilter = 0;
        g_app.windowsVersion = {kWindows10, true};
        g_seen = Seen();
    }
    ~WorkerScene() {
        CatalogRelease(g_app.catalog);
        CatalogReset(g_app.catalog);
        DestroyWindow(window);
    }
    std::vector<std::string> Run(int32_t task) {
        g_app.taskKind = task;
        UniqueHandle thread(CreateThread(nullptr, 0, WorkerMain, nullptr, 0, nullptr));
        MSG msg;
        while (!g_seen.finished && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        WaitForSingleObject(thread.get(), INFINITE);
        return g_seen.events;
    }
};

std::string Item(int puc, const std::string& icon) {
    return "{\"puc_type\":" + std::to_string(puc) + ",\"puc_name\":\"P" + std::to_string(puc) + "\",\"icon\":\"" +
           WideToUtf8(ServerUrl(Utf8ToWide(icon))) + "\"}";
}

// The catalog answered with these items, from a file of the test's own.
std::string CatalogRules(const char* name, const std::string& items) {
    std::string body = "{\"code\":\"0\",\"error_code\":\"0\",\"val\":{\"items\":[" + items + "]}}";
    std::string file = std::string("worker-") + name + "-catalog.json";
    WriteWholeFile(ServerFile(Utf8ToWide(file)), body.data(), body.size());
    return "{\"/?route=%5Eapp/install/get_list&install_oem_id=1\": {\"body_file\": \"" + file + "\"}}";
}

// A valid picture followed by padding up to size bytes: the decoder ignores
// what follows the picture, so only the size decides.
void ServePadded(const std::u16string& name, const Bytes& picture, size_t size) {
    Bytes padded = picture;
    padded.resize(size, 0);
    WriteWholeFile(ServerFile(name), padded.data(), padded.size());
}

TEST(WorkerMain, CatalogTaskListsThenIconsThenFinishes) {
    CatalogAddressLock catalog;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const Bytes png = Png(8, 8, Pixels(64, 0xFF336699));
    ServePadded(u"worker-small.png", png, png.size());
    ServePadded(u"worker-under.png", png, kMaxIconBytes - 1);
    ServePadded(u"worker-cap.png", png, kMaxIconBytes);  // 4 MiB: never decoded
    ServerRules rules(u"worker", CatalogRules("icons", Item(51, "/worker-small.png") + "," +
                                                           Item(52, "/worker-cap.png") + "," +
                                                           Item(53, "/worker-missing.png") + "," +
                                                           Item(54, "/worker-under.png")));
    for (uint32_t dpi : {96u, 144u}) {
        WorkerScene s;
        g_app.uiDpi = dpi;
        std::vector<std::string> events = s.Run(kTaskLoadCatalog);
        std::string side = dpi == 96 ? "44x44" : "66x66";
        // The list first (its status line, then the record change), icons in
        // slot order, the finish last.
        std::vector<std::string> expected = {"status " + WideToUtf8(u"软件目录加载完成。"), "<records>",
                                             "icon 0 " + side, "icon 3 " + side, "finished 1"};
        EXPECT_EQ(events, expected) << dpi;
    }
    g_app.uiDpi = 96;
}

TEST(WorkerMain, CancelStopsTheIconsAndAFailedLoadFinishesWithZero) {
    CatalogAddressLock catalog;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const Bytes png = Png(8, 8, Pixels(64, 0xFF336699));
    ServePadded(u"worker-icon.png", png, png.size());
    {
        ServerRules rules(u"worker-cancel",
                          CatalogRules("cancel", Item(61, "/worker-icon.png") + "," + Item(62, "/worker-icon.png")));
        WorkerScene s;
        g_seen.cancelWhenListed = s.cancel.get();
        // The list loaded, so the task succeeds; no icon is fetched after the cancel.
        EXPECT_EQ(s.Run(kTaskLoadCatalog),
                  (std::vector<std::string>{"status " + WideToUtf8(u"软件目录加载完成。"), "<records>", "finished 1"}));
    }
    {
        ServerRules rules(u"worker-fail",
                          "{\"/?route=%5Eapp/install/get_list&install_oem_id=1\": {\"status\": 500, \"body\": \"x\"}}");
        WorkerScene s;
        EXPECT_EQ(s.Run(kTaskLoadCatalog), (std::vector<std::string>{"<records>", "finished 0"}));
        EXPECT_EQ(g_app.catalog.catalogError, u"无法获取软件目录，请检查网络后重试（安装器不使用代理）。");
    }
}

TEST(WorkerMain, RereadTaskPresetsSelectionForALockedProduct) {
    WorkerScene s;
    CatalogReset(g_app.catalog);
    g_app.catalog.productCount = 2;
    g_app.catalog.products[0].puc_type = u"71";
    g_app.catalog.products[0].puc_name = u"A";
    g_app.catalog.products[0].has_package = true;
    g_app.catalog.products[1].puc_type = u"72";
    g_app.catalog.products[1].puc_name = u"B";
    g_app.productFilter = 71;
    g_app.operationMode = kModeInstall;
    EXPECT_EQ(s.Run(kTaskRereadRecords), std::vector<std::string>{"finished 1"});
    EXPECT_TRUE(g_app.catalog.products[0].selected);
    EXPECT_FALSE(g_app.catalog.products[1].selected);  // no package: not eligible
    g_app.productFilter = 0;
}

// After the main window is destroyed the icon has nowhere to go: a null
// window used to post into the worker's own queue, "succeed", and leak the
// bitmap. A window that exists takes it.
TEST(HandIconToWindow, ABitmapNobodyTakesIsDeleted) {
    WorkerScene scene;
    for (bool windowGone : {true, false}) {
        HBITMAP bitmap = CreateBitmap(4, 4, 1, 32, nullptr);
        ASSERT_TRUE(bitmap);
        EXPECT_EQ(HandIconToWindow(windowGone ? nullptr : scene.window, 3, bitmap), !windowGone);
        EXPECT_EQ(GetObjectType(bitmap) == OBJ_BITMAP, !windowGone) << windowGone;
        MSG msg;
        EXPECT_FALSE(windowGone && PeekMessageW(&msg, nullptr, kProductIconReady, kProductIconReady, PM_REMOVE));
        if (!windowGone) {
            ASSERT_TRUE(PeekMessageW(&msg, scene.window, kProductIconReady, kProductIconReady, PM_REMOVE));
            EXPECT_EQ(msg.wParam, 3u);
            DeleteObject(reinterpret_cast<HBITMAP>(msg.lParam));
        }
    }
}

}  // namespace
