#include "ui/wizard.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>

#include "engine/worker.h"

namespace {

// Three products: 0 installable, 1 installed at 1.0 (catalog 2.0), 2 without a package.
std::unique_ptr<AppState> App(int32_t page, int32_t mode = kModeInstall, bool busy = false) {
    auto app = std::make_unique<AppState>();
    app->catalog.productCount = 3;
    for (int i = 0; i < 3; ++i) {
        ProductEntry& p = app->catalog.products[i];
        p.puc_name = u"软件" + WideBuffer(1, static_cast<char16_t>(u'A' + i));
        p.version = u"2.0";
        p.has_package = i != 2;
    }
    ProductEntry& installed = app->catalog.products[1];
    installed.installed = true;
    installed.installed_version = u"1.0";
    installed.installed_dir = u"C:\\软件\\B";
    app->wizardPage = page;
    app->operationMode = mode;
    app->workerBusy = busy;
    app->taskKind = busy ? kTaskRunOperation : 0;
    app->installRoot = u"C:\\Tarnwick软件";
    return app;
}

void Choose(AppState& app, std::initializer_list<int> rows, bool succeeded, bool failed) {
    for (int r : rows) {
        ProductEntry& p = app.catalog.products[r];
        p.selected = true;
        p.succeeded = succeeded;
        p.failed = failed;
        if (failed) p.last_error = u"下载失败" + WideBuffer(1, static_cast<char16_t>(u'0' + r));
    }
    RefreshProductViews(app);
}

std::set<int32_t> Visible(const PageLook& look) {
    std::set<int32_t> ids;
    for (int32_t id = kFirstControlId; id < kControlIdLimit; ++id) {
        if (look[id].visible) ids.insert(id);
    }
    return ids;
}

TEST(WizardPage, WhatEachPageShows) {
    struct Case {
        const char* what;
        std::function<void(AppState&)> setup;
        int32_t page, mode;
        bool busy;
        std::set<int32_t> visible;
        const char16_t* title;
        const char16_t* notice;  // null: not set
    };
    const std::set<int32_t> kFooter = {kContactLink, kLogLink};
    auto with = [&](std::set<int32_t> ids) {
        ids.insert(kFooter.begin(), kFooter.end());
        return ids;
    };
    const Case cases[] = {
        {"welcome, update offered", nullptr, kPageWelcome, kModeInstall, false,
         with({kInstallCard, kUninstallCard, kUpdateCard, kCloseButton, kHelpLink}), u"欢迎使用Tarnwick软件", nullptr},
        {"welcome, same version: no update card",
         [](AppState& a) { a.catalog.products[1].installed_version = u"2.0"; }, kPageWelcome, kModeInstall, false,
         with({kInstallCard, kUninstallCard, kCloseButton, kHelpLink}), u"欢迎使用Tarnwick软件", nullptr},
        {"choose, install, something installed", nullptr, kPageChoose, kModeInstall, false,
         with({kProductList, kNoticeLabel, kBackButton, kRootFrame, kRootEdit, kChangeRootButton, kShortcutCheck,
               kAgreeCheck, kAgreementLink, kAutorunCheck, kHelpLink, kRefreshLink, kManualDownloadLink,
               kPrimaryButton}),
         u"选择软件", u""},
        {"choose, nothing installed: close instead of back",
         [](AppState& a) { a.catalog.products[1].installed = false; }, kPageChoose, kModeInstall, false,
         with({kProductList, kNoticeLabel, kRootFrame, kRootEdit, kChangeRootButton, kShortcutCheck, kAgreeCheck,
               kAgreementLink, kAutorunCheck, kHelpLink, kRefreshLink, kManualDownloadLink, kPrimaryButton,
               kCloseButton}),
         u"选择软件", u""},
        {"choose, uninstall", nullptr, kPageChoose, kModeUninstall, false,
         with({kProductList, kNoticeLabel, kBackButton, kPurgeCheck, kHelpLink, kRefreshLink, kManualDownloadLink,
               kPrimaryButton}),
         u"选择软件", u""},
        {"choose, ARM64 host in install mode", [](AppState& a) { a.hostIsArm64 = true; }, kPageChoose,
         kModeInstall, false,
         with({kProductList, kNoticeLabel, kBackButton, kRootFrame, kRootEdit, kChangeRootButton, kShortcutCheck,
               kAgreeCheck, kAgreementLink, kAutorunCheck, kHelpLink, kRefreshLink, kManualDownloadLink,
               kPrimaryButton, kArmAutoCheck, kArmExistingLink}),
         u"选择软件", u""},
        {"choose, ARM64 host in uninstall mode: no ARM controls", [](AppState& a) { a.hostIsArm64 = true; },
         kPageChoose, kModeUninstall, false,
         with({kProductList, kNoticeLabel, kBackButton, kPurgeCheck, kHelpLink, kRefreshLink, kManualDownloadLink,
               kPrimaryButton}),
         u"选择软件", u""},
        {"choose, ARM64 host in update mode: no ARM controls", [](AppState& a) { a.hostIsArm64 = true; },
         kPageChoose, kModeUpdate, false,
         with({kProductList, kNoticeLabel, kBackButton, kRootFrame, kRootEdit, kChangeRootButton, kShortcutCheck,
               kAgreeCheck, kAgreementLink, kAutorunCheck, kHelpLink, kRefreshLink, kManualDownloadLink,
               kPrimaryButton}),
         u"更新软件", u""},
        {"choose, loading the catalog", [](AppState& a) { a.taskKind = kTaskLoadCatalog; }, kPageChoose,
         kModeInstall, true,
         with({kLoadingIndicator, kBackButton, kRootFrame, kRootEdit, kChangeRootButton, kShortcutCheck,
               kAgreeCheck, kAgreementLink, kAutorunCheck, kHelpLink, kRefreshLink, kManualDownloadLink,
               kPrimaryButton}),
         u"选择软件", u"正在从官网获取软件列表…"},
        {"progress, running", [](AppState& a) { Choose(a, {0}, false, false); }, kPageProgress, kModeInstall, true,
         with({kProductList, kNoticeLabel, kProgressBar, kProgressLabel, kCloseButton}), u"下载与安装", u""},
        {"progress, all failed: retry and help",
         [](AppState& a) { Choose(a, {0, 2}, false, true); }, kPageProgress, kModeInstall, false,
         with({kProductList, kNoticeLabel, kProgressBar, kProgressLabel, kCloseButton, kBackButton, kRetryButton,
               kHelpLink}),
         u"下载与安装", u"下载失败0"},
        {"progress, one failed, one done", [](AppState& a) { Choose(a, {0}, true, false), Choose(a, {2}, false, true); },
         kPageProgress, kModeInstall, false,
         with({kProductList, kNoticeLabel, kProgressBar, kProgressLabel, kCloseButton, kBackButton, kPrimaryButton,
               kHelpLink}),
         u"下载与安装", u"下载失败2"},
        {"progress, uninstall failed", [](AppState& a) { Choose(a, {1}, false, true); }, kPageProgress,
         kModeUninstall, false,
         with({kProductList, kNoticeLabel, kProgressBar, kProgressLabel, kCloseButton, kBackButton, kRetryButton,
               kHelpLink}),
         u"卸载软件", u"部分软件卸载失败，请关闭正在运行的软件后重试。"},
        {"results", [](AppState& a) { Choose(a, {0}, true, false); }, kPageResults, kModeInstall, false,
         with({kProductList, kNoticeLabel, kCleanPackagesCheck, kBackButton, kPrimaryButton}), u"安装清单", u""},
        {"results, uninstall", [](AppState& a) { Choose(a, {1}, true, false); }, kPageResults, kModeUninstall,
         false, with({kProductList, kNoticeLabel, kBackButton, kPrimaryButton}), u"卸载清单", u""},
        {"finish, all done", [](AppState& a) { Choose(a, {0}, true, false); }, kPageFinish, kModeInstall, false,
         with({kNoticeLabel, kProgressLabel, kPrimaryButton, kOpenRootLink, kShopLink}), u"✓  安装完成",
         u"您可以打开安装目录查看软件，使用中遇到问题可随时联系客服。"},
        {"finish, partly", [](AppState& a) { Choose(a, {0}, true, false), Choose(a, {2}, false, true); },
         kPageFinish, kModeInstall, false,
         with({kNoticeLabel, kProgressLabel, kPrimaryButton, kOpenRootLink, kShopLink, kManualDownloadLink,
               kHelpLink}),
         u"部分软件已完成", u"未完成项目的原因可在安装清单和日志中查看；如需帮助，请联系客服。"},
        {"finish, uninstalled", [](AppState& a) { Choose(a, {1}, true, false); }, kPageFinish, kModeUninstall,
         false, with({kNoticeLabel, kProgressLabel, kPrimaryButton}), u"✓  卸载完成",
         u"所选软件已卸载，未选择清理的衍生文件已保留。"},
        {"finish, nothing done", [](AppState& a) { Choose(a, {0}, false, true); }, kPageFinish, kModeInstall,
         false, with({kNoticeLabel, kProgressLabel, kPrimaryButton, kManualDownloadLink, kHelpLink}),
         u"操作未完成", u"未完成项目的原因可在安装清单和日志中查看；如需帮助，请联系客服。"},
        {"cancelled, still stopping",
         [](AppState& a) { a.wizardPage = kPageProgress, CancelOrClose(a); }, kPageCancelled, kModeInstall, true,
         {kNoticeLabel, kLogLink, kPrimaryButton}, u"已取消安装", u"正在等待当前安装任务停止…"},
        {"cancelled, undone", [](AppState& a) { a.rollbackFinished = true; }, kPageCancelled, kModeInstall, false,
         {kNoticeLabel, kLogLink, kPrimaryButton}, u"已取消安装", u"已撤回安装，更多信息请查看【安装日志】"},
    };
    for (const Case& c : cases) {
        auto app = App(c.page, c.mode, c.busy);
        if (c.setup) c.setup(*app);
        PageLook look = ComposePage(*app);
        EXPECT_EQ(Visible(look), c.visible) << c.what;
        EXPECT_EQ(look.title, c.title) << c.what;
        if (c.notice) {
            EXPECT_TRUE(look[kNoticeLabel].hasText) << c.what;
            EXPECT_EQ(look[kNoticeLabel].text, c.notice) << c.what;
        }
        // Buttons that act are disabled exactly while a task runs.
        for (int32_t id : {kPrimaryButton, kBackButton, kRefreshLink, kInstallCard}) {
            if (look[id].visible && look[id].enabled >= 0 && c.page != kPageFinish) {
                EXPECT_EQ(look[id].enabled, c.busy ? 0 : 1) << c.what << " id " << id;
            }
        }
    }
}

// A root typed while task 1 fetched icons was dropped, the install then went
// to the old root while the box showed the new one.
TEST(WizardPage, TheRootBoxTakesNoInputWhileATaskRuns) {
    struct Case {
        const char* what;
        int32_t task;
        bool busy;
        int8_t enabled;
        bool showsRoot;
    } cases[] = {
        {"loading the catalog", kTaskLoadCatalog, true, 0, true},
        {"reading the records of a typed root", kTaskRereadRecords, true, 0, true},
        {"ARM settings", kTaskArmSettings, true, 0, true},
        {"no task", 0, false, 1, false},
    };
    for (const Case& c : cases) {
        auto app = App(kPageChoose, kModeInstall, c.busy);
        app->taskKind = c.task;
        PageLook look = ComposePage(*app);
        for (int32_t id : {kRootEdit, kChangeRootButton}) {
            EXPECT_TRUE(look[id].visible) << c.what;
            EXPECT_EQ(look[id].enabled, c.enabled) << c.what << " " << id;
        }
        EXPECT_EQ(look[kRootEdit].hasText, c.showsRoot) << c.what;  // idle: what the user typed stays
        if (c.showsRoot) EXPECT_EQ(look[kRootEdit].text, u"C:\\Tarnwick软件") << c.what;
    }
}

TEST(WizardPage, ComposedTexts) {
    auto app = App(kPageProgress);
    Choose(*app, {0}, true, false);
    Choose(*app, {2}, false, true);
    app->lastTotalProgress = 50;
    PageLook look = ComposePage(*app);
    EXPECT_EQ(look[kProgressLabel].text, u"总进度 50%  ·  已安装 1 项");
    EXPECT_TRUE(look.startHelpBlink);
    EXPECT_EQ(look.step, u"2 / 4");

    app->productViews[0].hasEnvWarnings = true;
    app->wizardPage = kPageFinish;
    look = ComposePage(*app);
    EXPECT_EQ(look[kProgressLabel].text, u"安装成功 1 项，未完成 1 项，另有 1 个软件有环境警告");
    EXPECT_EQ(look[kNoticeLabel].text, u"1 项软件未完成，另有 1 个软件有环境安装警告；详情见项目提示和日志。");
    EXPECT_EQ(look[kOpenRootLink].text, u"打开安装目录：C:\\Tarnwick软件");
    EXPECT_TRUE(look.primaryIsDefault && look.progressLabelBodyFont);
    EXPECT_EQ(look.step, u"4 / 4");

    app->wizardPage = kPageCancelled;
    EXPECT_EQ(ComposePage(*app).step, u"");
    app->wizardPage = kPageChoose;
    app->productFilter = 7;
    EXPECT_EQ(ComposePage(*app).title, u"安装Tarnwick软件");
    app->operationMode = kModeUpdate;
    look = ComposePage(*app);
    EXPECT_EQ(look.title, u"更新软件");
    EXPECT_EQ(look[kPrimaryButton].text, u"开始更新");
    EXPECT_EQ(look[kManualDownloadLink].text, u"官网下载");
}

TEST(WizardTransitions, ButtonsResultsAndClosing) {
    struct Case {
        const char* what;
        std::function<void(AppState&)> setup;
        std::function<WindowAction(AppState&)> event;
        WindowAction action;
        int32_t page;
    };
    auto mixed = [](AppState& a) { Choose(a, {0}, true, false), Choose(a, {2}, false, true); };
    auto done = [](AppState& a) { Choose(a, {0}, true, false); };
    auto failed = [](AppState& a) { Choose(a, {0}, false, true); };
    auto finished = [](int kind, bool ok) {
        return [kind, ok](AppState& a) { a.workerBusy = true, a.taskKind = kind; return OnWorkerFinished(a, ok); };
    };
    const Case cases[] = {
        {"run done", done, finished(kTaskRunOperation, true), WindowAction::kRefresh, kPageResults},
        {"run with a failure stays", mixed, finished(kTaskRunOperation, true), WindowAction::kRefresh, kPageProgress},
        {"programs opened", done, finished(kTaskOpenPrograms, true), WindowAction::kRefresh, kPageFinish},
        {"a program did not open", done, finished(kTaskOpenPrograms, false), WindowAction::kRefresh, kPageResults},
        {"undo done", nullptr, finished(kTaskUndo, true), WindowAction::kRefresh, kPageCancelled},
        {"undo done after close", [](AppState& a) { a.closeRequested = true; }, finished(kTaskUndo, true),
         WindowAction::kDestroy, kPageCancelled},
        {"close while loading", [](AppState& a) { a.closeRequested = true, a.wizardPage = kPageChoose; },
         finished(kTaskLoadCatalog, true), WindowAction::kDestroy, kPageChoose},
        {"close during the run", [](AppState& a) { a.closeRequested = true; }, finished(kTaskRunOperation, true),
         WindowAction::kStartRollback, kPageProgress},
        {"catalog: something installed", nullptr, finished(kTaskLoadCatalog, true), WindowAction::kRefresh,
         kPageWelcome},
        {"catalog: nothing installed, a fresh choice", [](AppState& a) { a.catalog.products[1].installed = false; },
         finished(kTaskLoadCatalog, true), WindowAction::kRefreshNewChoice, kPageChoose},
        {"catalog: locked product missing", [](AppState& a) { a.catalog.lockedProductMissing = true; },
         finished(kTaskLoadCatalog, true), WindowAction::kLockedMissing, kPageProgress},
        {"catalog failed", [](AppState& a) { a.catalog.catalogError = u"网络错误"; }, finished(kTaskLoadCatalog, false),
         WindowAction::kRefresh, kPageProgress},
        {"back with failures", mixed, OnBackButton, WindowAction::kRefresh, kPageChoose},
        {"back without failures stays", done, OnBackButton, WindowAction::kRefresh, kPageProgress},
        {"back while busy", [](AppState& a) { a.workerBusy = true; }, OnBackButton, WindowAction::kNone, kPageProgress},
        {"next with a success", done, OnPrimaryButton, WindowAction::kRefresh, kPageResults},
        {"next without one", failed, OnPrimaryButton, WindowAction::kNone, kPageProgress},
        {"retry", failed, OnRetryButton, WindowAction::kStartOperation, kPageProgress},
        {"cancel during the run", [](AppState& a) { a.workerBusy = true; }, CancelOrClose, WindowAction::kRefresh,
         kPageCancelled},
        {"cancel after the run", nullptr, CancelOrClose, WindowAction::kStartRollback, kPageCancelled},
        {"exit asked during the run", nullptr, [](AppState& a) { return ConfirmExit(a); }, WindowAction::kAskExit,
         kPageProgress},
        {"exit yes during the run", [](AppState& a) { a.workerBusy = true; }, AfterExitConfirmed,
         WindowAction::kRefresh, kPageCancelled},
        {"second close while stopping", [](AppState& a) { a.workerBusy = true, a.closeRequested = true; },
         [](AppState& a) { return ConfirmExit(a); }, WindowAction::kNone, kPageProgress},
    };
    for (const Case& c : cases) {
        auto app = App(kPageProgress);
        if (c.setup) c.setup(*app);
        EXPECT_EQ(c.event(*app), c.action) << c.what;
        EXPECT_EQ(app->wizardPage, c.page) << c.what;
    }

    // Closing from the pages the user may simply leave, and the cancelled page's notice.
    for (int32_t page : {kPageChoose, kPageFinish, kPageWelcome}) {
        auto app = App(page);
        EXPECT_EQ(CancelOrClose(*app), WindowAction::kDestroy) << page;
        EXPECT_FALSE(app->closeRequested);
    }
    auto app = App(kPageChoose, kModeInstall, true);
    EXPECT_EQ(CancelOrClose(*app), WindowAction::kNone);  // waits for the catalog task
    EXPECT_TRUE(app->closeRequested);

    // Uninstall results: back clears the choice and goes to the welcome page when nothing is left.
    app = App(kPageResults, kModeUninstall);
    Choose(*app, {1}, true, false);
    app->catalog.products[1].installed = false;
    OnBackButton(*app);
    EXPECT_EQ(app->wizardPage, kPageWelcome);
    EXPECT_FALSE(app->catalog.products[1].selected);
}

TEST(WizardTransitions, StartPageCardsAndConfirmation) {
    auto app = App(kPageProgress);
    app->catalog.products[1].installed = false;
    app->productFilter = 1;
    ChooseStartPage(*app);
    EXPECT_EQ(app->wizardPage, kPageChoose);
    EXPECT_TRUE(app->catalog.products[0].selected);   // eligible: preselected
    EXPECT_FALSE(app->catalog.products[2].selected);  // no package

    app = App(kPageWelcome);
    EXPECT_EQ(OnCard(*app, kModeUpdate), WindowAction::kRefresh);
    EXPECT_EQ(app->operationMode, kModeUpdate);
    EXPECT_EQ(OnCard(*app, kModeInstall), WindowAction::kNone);  // only on the welcome page

    // The progress page comes only with a running task; one that cannot start leaves page 0 with a notice.
    app = App(kPageChoose);
    EXPECT_EQ(AfterConfirmed(*app), WindowAction::kStartOperationOnProgress);
    EXPECT_EQ(app->wizardPage, kPageChoose);
    EXPECT_EQ(app->rowFilter, kRowFilterAllSelected);
    app->workerBusy = true;
    TaskNotStarted(*app);
    EXPECT_FALSE(app->workerBusy);
    EXPECT_EQ(ComposePage(*app)[kNoticeLabel].text, u"无法启动后台任务，请重试。");

    WideBuffer notice;
    bool shake = false;
    app = App(kPageChoose);
    EXPECT_FALSE(CheckBeforeConfirm(*app, false, notice, shake));
    EXPECT_TRUE(shake);
    EXPECT_FALSE(CheckBeforeConfirm(*app, true, notice, shake));
    EXPECT_EQ(notice, u"请选择有安装包的软件。");
    Choose(*app, {2}, false, false);  // no package: still nothing eligible
    EXPECT_FALSE(CheckBeforeConfirm(*app, true, notice, shake));
    Choose(*app, {0}, false, false);
    EXPECT_TRUE(CheckBeforeConfirm(*app, true, notice, shake));
    EXPECT_TRUE(ConfirmQuestion(*app).empty());  // install asks nothing

    app = App(kPageChoose, kModeUninstall);
    Choose(*app, {1}, false, false);
    EXPECT_TRUE(CheckBeforeConfirm(*app, false, notice, shake));  // no agreement needed
    app->purgeOnUninstall = true;
    EXPECT_EQ(ConfirmQuestion(*app),
              u"确认卸载以下软件吗？\r\n将永久删除所列软件目录及全部配置文件。\r\n\r\n软件B\r\nC:\\软件\\B\r\n");
    CaptureOptions(*app, true, true, true);
    EXPECT_FALSE(app->catalog.products[1].launch_after_install);  // nothing to launch after an uninstall
}

// The window decides from the views of the last refresh, not from records the
// worker may be rewriting.
TEST(WizardTransitions, ChoicesFollowTheRefreshedViews) {
    auto app = App(kPageChoose, kModeUpdate);
    Choose(*app, {1}, false, false);
    WideBuffer notice;
    bool shake = false;
    EXPECT_TRUE(CheckBeforeConfirm(*app, true, notice, shake));
    app->catalog.products[1].installed_version = u"2.0";  // the update is done
    EXPECT_TRUE(CheckBeforeConfirm(*app, true, notice, shake));
    RefreshProductViews(*app);
    EXPECT_FALSE(CheckBeforeConfirm(*app, true, notice, shake));
    EXPECT_EQ(notice, u"请选择已安装且有下载地址的软件。");

    // Entering a mode takes fresh views before it preselects.
    app = App(kPageWelcome);
    app->productFilter = 2;
    app->catalog.products[1].installed_version = u"";
    EXPECT_EQ(OnCard(*app, kModeUpdate), WindowAction::kRefresh);
    EXPECT_TRUE(app->catalog.products[1].selected);
    EXPECT_TRUE(app->productViews[1].selected);
    EXPECT_FALSE(app->catalog.products[0].selected);  // not installed
}

TEST(WizardPage, ListsChoicesAndTasksThatDidNotStart) {
    // Which products the list holds: all to install, the installed ones otherwise, the chosen ones later.
    struct Case { int32_t page, mode; std::vector<int32_t> rows; };
    const Case cases[] = {
        {kPageChoose, kModeInstall, {0, 1, 2}}, {kPageChoose, kModeUninstall, {1}}, {kPageChoose, kModeUpdate, {1}},
        {kPageProgress, kModeInstall, {0, 2}}, {kPageResults, kModeUninstall, {0, 2}},
    };
    for (const Case& c : cases) {
        auto app = App(c.page, c.mode);
        Choose(*app, {0, 2}, false, false);
        EXPECT_EQ(ListCandidates(*app), c.rows) << c.page << " " << c.mode;
    }
    auto app = App(kPageChoose);
    EXPECT_TRUE(AutorunDefault(*app));
    Choose(*app, {0, 2}, false, false);
    EXPECT_TRUE(AutorunDefault(*app));  // 2 has no package: one eligible
    Choose(*app, {1}, false, false);
    EXPECT_FALSE(AutorunDefault(*app));

    // A retry on page 1 and the undo on page 4 that could not start say so.
    app = App(kPageProgress);
    Choose(*app, {0}, false, true);
    app->workerBusy = true;
    TaskNotStarted(*app);
    EXPECT_EQ(ComposePage(*app)[kNoticeLabel].text, u"无法启动后台任务，请重试。");
    app = App(kPageProgress);
    CancelOrClose(*app);
    app->workerBusy = true;
    TaskNotStarted(*app);
    EXPECT_EQ(ComposePage(*app)[kNoticeLabel].text, u"无法启动后台任务，请重试。");

    // The catalog's addresses count only as web addresses; texts are cut to their capacity.
    ProductEntry p;
    p.error_url = u"C:\\Windows\\System32\\cmd.exe";
    p.complete_url = u"https://x";
    p.puc_name = WideBuffer(300, u'名');
    ProductView v;
    CopyProductView(p, v);
    EXPECT_FALSE(v.hasErrorUrl);
    EXPECT_TRUE(v.hasCompleteUrl);
    EXPECT_EQ(v.name.size(), 179u);
}

TEST(WizardStatus, ProgressLineAndBar) {
    auto app = App(kPageProgress, kModeInstall, true);
    Choose(*app, {0, 2}, false, false);
    app->catalog.products[0].progress_percent = 50;
    app->catalog.products[2].progress_percent = 25;
    StatusUpdate u = OnWorkerStatus(*app, u"正在下载");
    EXPECT_EQ(u.average, 37);
    EXPECT_FALSE(u.marquee);
    EXPECT_EQ(u.label, u"总进度 37%  ·  正在下载");
    app->catalog.products[2].progress_indeterminate = true;
    app->catalog.products[2].failed = true;
    app->catalog.products[2].last_error = u"校验失败";
    u = OnWorkerStatus(*app, u"校验失败");
    EXPECT_TRUE(u.marquee);
    EXPECT_EQ(u.label, u"总进度 37%");  // a failure text is not repeated on the line
    EXPECT_FALSE(OnWorkerStatus(*app, nullptr).hasLabel);
    EXPECT_EQ(app->statusHistory, u"正在下载\r\n校验失败\r\n");
    EXPECT_EQ(OnWorkerStatus(*App(kPageProgress), u"x").average, 0);  // nothing chosen
}

}  // namespace
