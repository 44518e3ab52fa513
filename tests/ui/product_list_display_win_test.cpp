#include "ui/product_list_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

#include "startup/app_state.h"
#include "ui/main_ui_win.h"
#include "ui/product_rows.h"

namespace {

// A row of the status table and a record that shows it.
struct LabelCase {
    const char16_t* label;
    int32_t mode;
    bool installed, osSupported, invalid, package, selected;
    const char16_t* installedVersion;
};

const LabelCase kLabels[] = {
    {u"不适合您的系统", 0, false, false, false, true, false, u""},
    {u"记录异常", 1, true, true, true, true, false, u"1.0"},
    {u"暂无安装包", 0, false, true, false, false, false, u""},
    {u"即将卸载", 1, true, true, false, true, true, u"1.0"},
    {u"已安装", 1, true, true, false, true, false, u"1.0"},
    {u"已安装", 0, true, true, false, true, true, u"1.0"},
    {u"无需更新", 2, true, true, false, true, false, u"2.0"},
    {u"已安装，即将更新", 2, true, true, false, true, true, u"1.0"},
    {u"已安装 · 更新", 2, true, true, false, true, false, u"1.0"},
};

// The window's own controls and fonts at dpi, on a hidden parent; undone on destruction.
struct ListAtDpi {
    HWND parent = nullptr;
    explicit ListAtDpi(uint32_t dpi) {
        g_app.uiDpi = dpi;
        if (!g_app.instanceHandle) g_app.instanceHandle = GetModuleHandleW(nullptr);
        g_ui = MainUi{};
        parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        if (parent) CreateControls(parent);
    }
    ~ListAtDpi() {
        if (parent) DestroyWindow(parent);
        for (HFONT font : {g_ui.symbolFont, g_ui.bodyFont, g_ui.cardTitleFont, g_ui.smallFont, g_ui.titleFont}) {
            if (font) DeleteObject(font);
        }
        g_ui = MainUi{};
    }
};

// Runs on a display: without one Wine makes no windows.
// Each badge text, measured with the font the list paints it in, fits between
// the badge's insets at 96, 120 and 144 DPI, and the badge stays clear of the
// name column.
TEST(ProductListBadge, EveryLabelFitsInTheListFontAtEachDpi) {
    const uint32_t savedDpi = g_app.uiDpi;
    for (uint32_t dpi : {96u, 120u, 144u}) {
        ListAtDpi window(dpi);
        HWND list = Control(kProductList);
        ASSERT_NE(list, nullptr) << dpi;
        ASSERT_NE(g_ui.smallFont, nullptr) << dpi;
        HDC dc = GetDC(list);
        ASSERT_NE(dc, nullptr);
        // The list at the window's first size, less its scroll bar.
        const PixelRect row{0, 0, ScaleUnits(630, dpi), ScaleUnits(kRowHeightChoose, dpi)};
        int32_t shortest = INT32_MAX, longest = 0;
        for (const LabelCase& c : kLabels) {
            const std::string what = "dpi " + std::to_string(dpi) + " case " + std::to_string(&c - kLabels);
            ProductEntry p;
            p.version = u"2.0";
            p.installed = c.installed;
            p.os_supported = c.osSupported;
            p.manifest_invalid = c.invalid;
            p.has_package = c.package;
            p.selected = c.selected;
            p.installed_version = c.installedVersion;
            ProductView v;
            CopyProductView(p, v);
            const WideBuffer label = RowStatusLabel(p, v, c.mode);
            ASSERT_EQ(label, c.label) << what;
            const int32_t width = BadgeLabelWidth(dc, label);
            ASSERT_GT(width, 0) << what;
            shortest = std::min(shortest, width);
            longest = std::max(longest, width);
            const RowLayout l = LayoutProductRow(0, p, v, c.mode, false, row, width, dpi);
            const PixelRect text = BadgeTextRect(l.badgeRect, dpi);
            EXPECT_GE(text.right - text.left, width) << what;
            EXPECT_EQ(l.badgeRect.right, row.right - ScaleUnits(12, dpi)) << what;
            EXPECT_GE(l.badgeRect.left, NameColumnLeft(row, dpi)) << what;
            if (!l.folderLink.IsEmpty()) {
                EXPECT_LT(l.folderLink.right, l.badgeRect.left) << what;
            }
        }
        // A real CJK font: eight characters are clearly wider than three.
        EXPECT_GT(longest, shortest * 2) << dpi;
        ReleaseDC(list, dc);
    }
    g_app.uiDpi = savedDpi;
}

}  // namespace
