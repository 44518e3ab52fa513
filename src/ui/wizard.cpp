#include "ui/wizard.h"

#include <algorithm>

#include "base/text_format.h"
#include "engine/worker.h"

namespace {

int32_t Slots(const AppState& app) { return std::min<int32_t>(app.catalog.productCount, kCatalogSlots); }

bool AnyEligibleChosen(const AppState& app) {
    for (int32_t i = 0; i < Slots(app); ++i) {
        if (app.catalog.products[i].selected && IsViewEligible(app.productViews[i], app.operationMode)) return true;
    }
    return false;
}

bool AnyEligible(const AppState& app) {
    for (int32_t i = 0; i < Slots(app); ++i) {
        if (IsViewEligible(app.productViews[i], app.operationMode)) return true;
    }
    return false;
}

void Show(PageLook& look, int32_t id, bool enabledWhenIdle, bool busy) {
    look[id].visible = true;
    if (enabledWhenIdle) look[id].enabled = busy ? 0 : 1;
}

void Text(PageLook& look, int32_t id, const WideBuffer& text) {
    look[id].hasText = true;
    look[id].text = text;
}

template <typename... Args>
WideBuffer Format(const char16_t* format, const Args&... args) {
    WideBuffer out;
    TextFormat(out, format, args...);
    return out;
}

// "  ·  已安装 2 项" after the total when something succeeded.
void AppendDoneCount(WideBuffer& label, const AppState& app, int32_t succeeded) {
    if (succeeded > 0) {
        TextFormat(label, u"  ·  %s %d 项", app.operationMode == kModeUninstall ? u"已卸载" : u"已安装", succeeded);
    }
}

void ComposeChoose(const AppState& app, PageLook& look, bool busy) {
    look.title = u"选择软件";
    if (app.productFilter != 0) look.title = u"安装Tarnwick软件";
    if (app.operationMode == kModeUpdate) look.title = u"更新软件";
    if (AnyInstalled(app.catalog)) {
        Show(look, kBackButton, true, busy);
        Text(look, kBackButton, u"上一步");
    }
    look.subtitle = app.operationMode == kModeUninstall ? u"勾选要卸载的软件。"
                    : app.operationMode == kModeUpdate  ? u"勾选要更新的软件，同版本将重新安装。"
                                                        : u"可多选，勾选后开始安装。";
    for (int32_t id : {kRootFrame, kShortcutCheck, kAgreeCheck, kAgreementLink, kHelpLink, kManualDownloadLink,
                       kCloseButton}) {
        Show(look, id, false, busy);
    }
    // A root typed while a task runs could not be taken, and the task may be
    // reading records under the root shown: the box shows the root in use and
    // takes no input until the task ends.
    Show(look, kRootEdit, true, busy);
    Show(look, kChangeRootButton, true, busy);
    if (busy) Text(look, kRootEdit, app.installRoot);
    Show(look, kPrimaryButton, true, busy);
    Show(look, kRefreshLink, true, busy);
    if (app.operationMode != kModeUninstall) Show(look, kAutorunCheck, true, busy);
    if (app.hostIsArm64 && app.operationMode == kModeInstall) {
        Show(look, kArmAutoCheck, false, busy);
        Show(look, kArmExistingLink, true, busy);
    }
    Text(look, kCloseButton, u"关闭");
    Text(look, kNoticeLabel, busy ? (app.taskKind == kTaskArmSettings ? u"正在为所选主程序设置 ARM 兼容性…"
                                                                      : u"正在从官网获取软件列表…")
                                  : app.pageNotice);
    if (app.operationMode == kModeUninstall) {
        Show(look, kPurgeCheck, true, busy);
        for (int32_t id : {kShortcutCheck, kRootEdit, kRootFrame, kChangeRootButton, kAgreeCheck, kAgreementLink}) {
            look[id].visible = false;
        }
    }
    Text(look, kShortcutCheck, u"创建桌面快捷方式");
    Text(look, kPrimaryButton, app.operationMode == kModeUninstall ? u"开始卸载"
                               : app.operationMode == kModeUpdate  ? u"开始更新"
                                                                   : u"开始安装");
}

void ComposeProgress(const AppState& app, PageLook& look, bool busy) {
    const int32_t S = SucceededCount(app.catalog, app.productViews);
    const int32_t U = UnfinishedCount(app.catalog, app.productViews);
    const int32_t W = WarningCount(app.catalog, app.productViews);
    look.title = u"下载与安装";
    look.subtitle = u"软件依次下载并安装；失败项可单独重试，成功软件会保留。";
    Show(look, kProgressBar, false, busy);
    Show(look, kProgressLabel, false, busy);
    Show(look, kCloseButton, false, busy);
    Text(look, kCloseButton, u"取消安装");
    Text(look, kNoticeLabel, u"");
    if (U > 0) {
        Show(look, kBackButton, true, busy);
        Text(look, kBackButton, u"返回首页");
    }
    if (!busy) {
        if (U > 0) {
            WideBuffer label = Format(u"总进度 %d%%", std::max(app.lastTotalProgress, 0));
            AppendDoneCount(label, app, S);
            Text(look, kProgressLabel, label);
            for (int32_t i = 0; i < Slots(app); ++i) {
                const ProductView& v = app.productViews[i];
                if (app.catalog.products[i].selected && v.failed && !v.lastError.empty()) {
                    Text(look, kNoticeLabel, v.lastError);
                    break;
                }
            }
            Show(look, kHelpLink, false, busy);
            Text(look, kHelpLink, u"安装失败？");
            look.startHelpBlink = true;
        } else if (W > 0) {
            Text(look, kNoticeLabel, Format(u"%d 个软件有环境安装警告，主程序仍已继续安装；请查看项目提示。", W));
        }
    }
    if (S > 0) {
        Show(look, kPrimaryButton, true, busy);
        Text(look, kPrimaryButton, u"下一步");
    } else if (!busy) {
        Show(look, kRetryButton, false, busy);
    }
    if (app.operationMode == kModeUninstall) {
        look.title = u"卸载软件";
        look.subtitle = u"逐项删除已记录的程序文件；未勾选删除配置时保留衍生文件。";
        if (!busy && U > 0) Text(look, kNoticeLabel, u"部分软件卸载失败，请关闭正在运行的软件后重试。");
    }
    // A retry that could not start must say so here too.
    if (!busy && app.taskStartFailed) Text(look, kNoticeLabel, app.pageNotice);
}

void ComposeResults(const AppState& app, PageLook& look, bool busy) {
    look.title = u"安装清单";
    look.subtitle = u"查看每项结果，勾选需要立即开启的软件。";
    Show(look, kCleanPackagesCheck, false, busy);
    Show(look, kBackButton, true, busy);
    Show(look, kPrimaryButton, true, busy);
    Text(look, kBackButton, u"返回首页");
    Text(look, kPrimaryButton, u"下一步");
    Text(look, kNoticeLabel, app.pageNotice);
    if (app.operationMode == kModeUninstall) {
        look.title = u"卸载清单";
        look.subtitle = u"查看软件卸载结果，失败项目可返回列表重试。";
        look[kCleanPackagesCheck].visible = false;
    }
}

void ComposeFinish(const AppState& app, PageLook& look) {
    const int32_t S = SucceededCount(app.catalog, app.productViews);
    const int32_t U = UnfinishedCount(app.catalog, app.productViews);
    const int32_t W = WarningCount(app.catalog, app.productViews);
    look.title = S == 0 ? WideBuffer(u"操作未完成")
                 : U == 0 ? Format(u"✓  %s完成", ModeVerb(app.operationMode))
                          : WideBuffer(u"部分软件已完成");
    look.subtitle = S > 0 ? u"感谢您选择Tarnwick软件。" : u"请查看失败原因，或通过下方入口获取帮助。";
    WideBuffer label = Format(u"%s成功 %d 项", ModeVerb(app.operationMode), S);
    if (U > 0) TextFormat(label, u"，未完成 %d 项", U);
    if (W > 0) TextFormat(label, u"，另有 %d 个软件有环境警告", W);
    Show(look, kProgressLabel, false, false);
    Text(look, kProgressLabel, label);
    look.progressLabelBodyFont = true;
    Show(look, kPrimaryButton, false, false);
    look[kPrimaryButton].enabled = 1;
    Text(look, kPrimaryButton, u"完成");
    look.primaryIsDefault = true;
    if (S > 0 && app.operationMode != kModeUninstall) {
        Show(look, kOpenRootLink, false, false);
        Text(look, kOpenRootLink, Format(u"打开安装目录：%s", app.installRoot));
        Show(look, kShopLink, false, false);
    }
    if (U > 0) {
        Show(look, kManualDownloadLink, false, false);
        Show(look, kHelpLink, false, false);  // keeps its text
    }
    WideBuffer notice;
    if (W > 0) {
        notice = U > 0 ? Format(u"%d 项软件未完成，另有 %d 个软件有环境安装警告；详情见项目提示和日志。", U, W)
                       : Format(u"%d 个软件存在环境安装警告，主程序已继续安装；详情见项目提示和日志。", W);
    } else {
        notice = U > 0                                     ? u"未完成项目的原因可在安装清单和日志中查看；如需帮助，请联系客服。"
                 : app.operationMode == kModeUninstall ? u"所选软件已卸载，未选择清理的衍生文件已保留。"
                                                       : u"您可以打开安装目录查看软件，使用中遇到问题可随时联系客服。";
    }
    Text(look, kNoticeLabel, notice);
}

void ComposeCancelled(const AppState& app, PageLook& look, bool busy) {
    look.title = u"已取消安装";
    look.subtitle = u"";
    // Only once the undo has run: until then the page says it is waiting.
    Text(look, kNoticeLabel, app.rollbackFinished ? WideBuffer(u"已撤回安装，更多信息请查看【安装日志】") : app.pageNotice);
    Show(look, kPrimaryButton, true, busy);
    Text(look, kPrimaryButton, u"完成");
}

}  // namespace

const char16_t* ModeVerb(int32_t mode) {
    return mode == kModeUninstall ? u"卸载" : mode == kModeUpdate ? u"更新" : u"安装";
}

PageLook ComposePage(const AppState& app) {
    PageLook look;
    const bool busy = app.workerBusy;
    const int32_t page = app.wizardPage;
    look.loadingWanted = page == kPageChoose && busy && app.taskKind == kTaskLoadCatalog;
    look[kContactLink].visible = true;
    look[kLogLink].visible = true;
    if (page == kPageWelcome) {
        look.stepVisible = false;
        look.title = u"欢迎使用Tarnwick软件";
        look.subtitle = u"请选择要进行的操作。";
        Show(look, kInstallCard, true, busy);
        if (IsModeAvailable(app.catalog, kModeUninstall)) Show(look, kUninstallCard, true, busy);
        if (IsModeAvailable(app.catalog, kModeUpdate)) Show(look, kUpdateCard, true, busy);
        Show(look, kCloseButton, false, busy);
        Text(look, kCloseButton, u"关闭");
        Show(look, kHelpLink, false, busy);
        return look;
    }
    Text(look, kManualDownloadLink, page == kPageChoose ? u"官网下载" : u"到官网手动下载");
    look.step = page <= kPageFinish ? Format(u"%d / 4", page + 1) : WideBuffer();
    if (page <= kPageResults) look[kProductList].visible = true;
    look[kNoticeLabel].visible = true;
    switch (page) {
        case kPageChoose: ComposeChoose(app, look, busy); break;
        case kPageProgress: ComposeProgress(app, look, busy); break;
        case kPageResults: ComposeResults(app, look, busy); break;
        case kPageFinish: ComposeFinish(app, look); break;
        default: ComposeCancelled(app, look, busy); break;
    }
    if (page == kPageCancelled) look[kContactLink].visible = false;
    if (page == kPageChoose) {
        if (AnyInstalled(app.catalog)) look[kCloseButton].visible = false;
        if (look.loadingWanted) {
            look[kProductList].visible = false;
            look[kNoticeLabel].visible = false;
            look[kLoadingIndicator].visible = true;
        }
    }
    return look;
}

std::vector<int32_t> ListCandidates(const AppState& app) {
    std::vector<int32_t> rows;
    for (int32_t i = 0; i < Slots(app); ++i) {
        const ProductEntry& p = app.catalog.products[i];
        const bool listed = app.wizardPage != kPageChoose ? p.selected
                            : app.operationMode == kModeInstall ? true
                                                                : p.installed;
        if (listed) rows.push_back(i);
    }
    return rows;
}

void RefreshProductViews(AppState& app) {
    for (int32_t i = 0; i < Slots(app); ++i) CopyProductView(app.catalog.products[i], app.productViews[i]);
}

bool AutorunDefault(const AppState& app) {
    int32_t n = 0;
    for (int32_t i = 0; i < Slots(app); ++i) {
        if (app.catalog.products[i].selected && IsViewEligible(app.productViews[i], app.operationMode)) ++n;
    }
    return n <= 1;
}

void ChooseStartPage(AppState& app) {
    if (AnyInstalled(app.catalog)) {
        app.wizardPage = kPageWelcome;
        return;
    }
    app.wizardPage = kPageChoose;
    app.operationMode = kModeInstall;
    RefreshProductViews(app);
    for (int32_t i = 0; i < Slots(app); ++i) {
        app.catalog.products[i].selected = app.productFilter != 0 && IsViewEligible(app.productViews[i], kModeInstall);
        app.productViews[i].selected = app.catalog.products[i].selected;
    }
}

WindowAction OnWorkerFinished(AppState& app, bool success) {
    const int32_t kind = app.taskKind;
    app.workerBusy = false;
    RefreshProductViews(app);
    if (app.closeRequested && kind != kTaskUndo) {
        return app.wizardPage == kPageChoose ? WindowAction::kDestroy : WindowAction::kStartRollback;
    }
    switch (kind) {
        case kTaskLoadCatalog:
            if (app.catalog.lockedProductMissing) return WindowAction::kLockedMissing;
            app.pageNotice = success ? WideBuffer() : app.catalog.catalogError;
            if (!success) return WindowAction::kRefresh;
            if (!AnyEligible(app)) {
                app.pageNotice = app.operationMode == kModeUninstall ? u"未检测到可卸载的软件。"
                                 : app.operationMode == kModeUpdate  ? u"未找到可更新的软件，或暂缺下载地址。"
                                                                     : u"暂无可用安装包，可前往官网下载。";
            }
            ChooseStartPage(app);
            return app.wizardPage == kPageChoose ? WindowAction::kRefreshNewChoice : WindowAction::kRefresh;
        case kTaskRunOperation:
            if (UnfinishedCount(app.catalog, app.productViews) == 0 && SucceededCount(app.catalog, app.productViews) > 0) {
                app.wizardPage = kPageResults;
                app.pageNotice.clear();
            }
            return WindowAction::kRefresh;
        case kTaskOpenPrograms:
            if (success) {
                app.wizardPage = kPageFinish;
            } else {
                app.wizardPage = kPageResults;
                app.pageNotice = u"软件打开失败，请在对应项目进入杀毒软件排查；处理后重试，或取消立即开启。";
            }
            return WindowAction::kRefresh;
        case kTaskUndo:
            app.wizardPage = kPageCancelled;
            app.rollbackFinished = true;
            app.pageNotice = u"已逐文件处理撤回；成功软件已保留，删除失败及未恢复备份见安装日志。";
            return app.closeRequested ? WindowAction::kDestroy : WindowAction::kRefresh;
        case kTaskRereadRecords:
            ChooseStartPage(app);
            app.pageNotice = u"已重新检查此目录中的软件安装记录。";
            return app.wizardPage == kPageChoose ? WindowAction::kRefreshNewChoice : WindowAction::kRefresh;
        default:
            return WindowAction::kRefresh;
    }
}

WindowAction OnBackButton(AppState& app) {
    if (app.workerBusy) return WindowAction::kNone;
    switch (app.wizardPage) {
        case kPageProgress:
            if (UnfinishedCount(app.catalog, app.productViews) > 0) {
                app.pageNotice = u"已返回首页，可调整软件选择后重新安装。";
                app.wizardPage = kPageChoose;
            }
            break;
        case kPageResults:
            if (app.operationMode == kModeUninstall) {
                for (int32_t i = 0; i < Slots(app); ++i) app.catalog.products[i].selected = false;
                app.wizardPage = AnyInstalled(app.catalog) ? kPageChoose : kPageWelcome;
                app.pageNotice = u"已返回卸载选择列表。";
            } else {
                app.wizardPage = kPageChoose;
                app.pageNotice = u"已返回首页，可调整软件选择。";
            }
            break;
        case kPageChoose: app.wizardPage = kPageWelcome; break;
        default: app.wizardPage = kPageProgress; break;
    }
    return WindowAction::kRefresh;
}

WindowAction OnRetryButton(AppState& app) {
    if (app.workerBusy) return WindowAction::kNone;
    app.rowFilter = kRowFilterFailedOnly;
    return WindowAction::kStartOperation;
}

WindowAction OnPrimaryButton(AppState& app) {
    if (app.workerBusy) return WindowAction::kNone;
    switch (app.wizardPage) {
        case kPageChoose: return WindowAction::kConfirm;
        case kPageProgress:
            if (SucceededCount(app.catalog, app.productViews) == 0) return WindowAction::kNone;
            app.wizardPage = kPageResults;
            app.pageNotice.clear();
            return WindowAction::kRefresh;
        case kPageResults: return WindowAction::kStartOpenPrograms;
        default: return ConfirmExit(app);
    }
}

WindowAction AfterConfirmed(AppState& app) {
    app.rowFilter = kRowFilterAllSelected;
    return WindowAction::kStartOperationOnProgress;
}

WindowAction OnCard(AppState& app, int32_t mode) {
    if (app.wizardPage != kPageWelcome || app.workerBusy) return WindowAction::kNone;
    app.wizardPage = kPageChoose;
    app.operationMode = mode;
    RefreshProductViews(app);
    for (int32_t i = 0; i < Slots(app); ++i) {
        app.catalog.products[i].selected = app.productFilter != 0 && IsViewEligible(app.productViews[i], mode);
    }
    app.pageNotice = mode == kModeUninstall ? u"选择已安装的软件，默认保留衍生文件。" : u"";
    RefreshProductViews(app);
    return WindowAction::kRefresh;
}

WindowAction CancelOrClose(AppState& app) {
    const int32_t page = app.wizardPage;
    if (!app.workerBusy && (page == kPageChoose || page == kPageFinish || page == kPageWelcome)) {
        return WindowAction::kDestroy;
    }
    app.closeRequested = true;
    if (page == kPageChoose) return WindowAction::kNone;  // destroyed when the running task ends
    app.wizardPage = kPageCancelled;
    app.pageNotice = u"正在等待当前安装任务停止…";
    return app.workerBusy ? WindowAction::kRefresh : WindowAction::kStartRollback;
}

WindowAction ConfirmExit(const AppState& app) {
    const int32_t page = app.wizardPage;
    if (!app.workerBusy && (page == kPageFinish || (page == kPageCancelled && app.rollbackFinished))) {
        return WindowAction::kDestroy;
    }
    if (app.exitPromptOpen || (app.closeRequested && app.workerBusy)) return WindowAction::kNone;
    return WindowAction::kAskExit;
}

WindowAction AfterExitConfirmed(AppState& app) {
    const int32_t page = app.wizardPage;
    if (((page == kPageChoose || page == kPageWelcome) && !app.workerBusy) || page == kPageFinish ||
        (page == kPageCancelled && app.rollbackFinished)) {
        return WindowAction::kDestroy;
    }
    return CancelOrClose(app);
}

void TaskNotStarted(AppState& app) {
    app.workerBusy = false;
    app.taskStartFailed = true;
    app.pageNotice = u"无法启动后台任务，请重试。";
}

StatusUpdate OnWorkerStatus(AppState& app, const char16_t* text) {
    RefreshProductViews(app);
    StatusUpdate update;
    int32_t sum = 0, count = 0;
    bool failureText = false;
    for (int32_t i = 0; i < Slots(app); ++i) {
        const ProductEntry& p = app.catalog.products[i];
        if (!p.selected) continue;
        sum += p.progress_percent;
        ++count;
        if (p.progress_indeterminate) update.marquee = true;
        if (text && p.failed && !p.last_error.empty() && p.last_error == text) failureText = true;
    }
    update.average = count > 0 ? sum / count : 0;
    if (text) {
        update.hasLabel = true;
        if (failureText) {
            update.label = Format(u"总进度 %d%%", update.average);
            AppendDoneCount(update.label, app, SucceededCount(app.catalog, app.productViews));
        } else {
            update.label = Format(u"总进度 %d%%  ·  %s", update.average, text);
        }
        app.statusHistory += text;
        app.statusHistory += u"\r\n";
    }
    return update;
}

bool CheckBeforeConfirm(const AppState& app, bool agreeChecked, WideBuffer& notice, bool& shake) {
    shake = false;
    if (app.operationMode != kModeUninstall && !agreeChecked) {
        notice = u"请先阅读并同意许可协议和隐私协议。";
        shake = true;
        return false;
    }
    if (!AnyEligibleChosen(app)) {
        notice = app.operationMode == kModeUninstall ? u"请选择已安装的软件。"
                 : app.operationMode == kModeUpdate  ? u"请选择已安装且有下载地址的软件。"
                                                     : u"请选择有安装包的软件。";
        return false;
    }
    return true;
}

WideBuffer ConfirmQuestion(const AppState& app) {
    if (app.operationMode == kModeInstall) return WideBuffer();
    const char16_t* note = app.purgeOnUninstall                    ? u"将永久删除所列软件目录及全部配置文件。"
                           : app.operationMode == kModeUninstall ? u"只删除已记录的程序文件，保留衍生文件。"
                                                                 : u"重新下载安装包并覆盖，保留衍生文件。";
    WideBuffer question = Format(u"确认%s以下软件吗？\r\n%s\r\n", ModeVerb(app.operationMode), note);
    for (int32_t i = 0; i < Slots(app); ++i) {
        const ProductEntry& p = app.catalog.products[i];
        if (p.selected) TextFormat(question, u"\r\n%s\r\n%s\r\n", p.puc_name, p.installed_dir);
    }
    return question;
}

void CaptureOptions(AppState& app, bool shortcut, bool armAuto, bool autorun) {
    app.createShortcut = shortcut;
    app.applyArmSettings = armAuto;
    const bool launch = app.operationMode != kModeUninstall && autorun;
    for (int32_t i = 0; i < Slots(app); ++i) {
        ProductEntry& p = app.catalog.products[i];
        if (p.selected && IsViewEligible(app.productViews[i], app.operationMode)) p.launch_after_install = launch;
    }
}
