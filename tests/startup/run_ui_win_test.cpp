#include "startup/run_ui_win.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "base/file_win.h"
#include "startup/app_state.h"

namespace {

TEST(ChooseDefaultInstallRoot, PathArgumentVerbatimElseDriveDOrC) {
    WideBuffer savedPath = g_app.pathArgument, savedRoot = g_app.installRoot;
    g_app.pathArgument = u"D:\\Apps\\";
    ChooseDefaultInstallRoot();
    EXPECT_EQ(g_app.installRoot, u"D:\\Apps\\");

    // The test prefix has only C: and Z: unless a test links dosdevices/d:.
    g_app.pathArgument.clear();
    ChooseDefaultInstallRoot();
    EXPECT_EQ(g_app.installRoot, DirectoryExists(u"D:\\") ? u"D:\\Tarnwick软件" : u"C:\\Tarnwick软件");
    g_app.pathArgument = savedPath;
    g_app.installRoot = savedRoot;
}

}  // namespace
