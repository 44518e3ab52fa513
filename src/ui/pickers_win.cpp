// What sits between a click and a worker task: the checks and question before
// an operation, the folder picker and the install-root change, the x86
// program picker for the ARM settings.
#include <windows.h>
#include <shobjidl.h>

#include "base/handles_win.h"
#include "base/memory.h"
#include "base/wide_win.h"
#include "engine/arm_settings_win.h"
#include "engine/worker.h"
#include "package/path_safety_win.h"
#include "startup/app_state.h"
#include "ui/main_ui_win.h"
#include "ui/wizard.h"

namespace {

HWND MainWindow() { return static_cast<HWND>(g_app.mainWindow); }

bool IsChecked(int32_t id) { return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

// The chosen item's file-system path, empty when the user cancelled or it has none.
WideBuffer ShowAndTake(IFileDialog* dialog) {
    if (FAILED(dialog->Show(MainWindow()))) return WideBuffer();
    ComPtr<IShellItem> item;
    if (FAILED(dialog->GetResult(item.receive())) || !item) return WideBuffer();
    PWSTR name = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &name)) || !name) return WideBuffer();
    WideBuffer path = U(name);
    CoTaskMemFree(name);
    return path;
}

}  // namespace

bool ConfirmOperation() {
    WideBuffer notice;
    bool shake = false;
    if (!CheckBeforeConfirm(g_app, IsChecked(kAgreeCheck), notice, shake)) {
        SetTextIfChanged(Control(kNoticeLabel), notice);
        if (shake) StartAgreeShake();
        return false;
    }
    if (!ValidateInstallRoot(g_app.installRoot, notice)) {
        SetTextIfChanged(Control(kNoticeLabel), notice);
        return false;
    }
    g_app.purgeOnUninstall = g_app.operationMode == kModeUninstall && IsChecked(kPurgeCheck);
    const WideBuffer question = ConfirmQuestion(g_app);
    if (!question.empty() &&
        MessageBoxW(MainWindow(), W(question), L"确认软件操作", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
        return false;
    }
    CaptureOptions(g_app, IsChecked(kShortcutCheck), IsChecked(kArmAutoCheck), IsChecked(kAutorunCheck));
    return true;
}

void PickInstallRoot() {
    // While a task runs the root cannot change, so the box must not show another one.
    if (g_app.wizardPage != kPageChoose || g_app.workerBusy) return;
    ComPtr<IFileDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileDialog,
                                dialog.receiveVoid()))) {
        return;
    }
    FILEOPENDIALOGOPTIONS options = 0;
    if (FAILED(dialog->GetOptions(&options))) return;
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
    dialog->SetTitle(L"选择软件安装目录");
    const WideBuffer folder = ShowAndTake(dialog.get());
    if (!folder.empty()) SetTextIfChanged(Control(kRootEdit), folder);
}

void ApplyRootEdit() {
    if (g_app.wizardPage != kPageChoose || g_app.workerBusy) return;
    HWND edit = Control(kRootEdit);
    WideBuffer text;
    if (!TryResize(text, 32768)) return;
    const int n = GetWindowTextW(edit, W(&text[0]), 32768);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    if (EqualsNoCase(text, g_app.installRoot)) return;
    WideBuffer message;
    if (ValidateInstallRoot(text, message)) {
        g_app.installRoot = text;
        StartTask(kTaskRereadRecords);
    } else if (!message.empty()) {
        SetTextIfChanged(Control(kNoticeLabel), message);
    }
}

void PickArmProgram() {
    if (!g_app.hostIsArm64 || g_app.workerBusy) return;
    ComPtr<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                dialog.receiveVoid()))) {
        return;
    }
    const COMDLG_FILTERSPEC types[] = {{L"软件主程序 (*.exe)", L"*.exe"}};
    dialog->SetFileTypes(1, types);
    dialog->SetOptions(FOS_FILEMUSTEXIST | FOS_PATHMUSTEXIST | FOS_FORCEFILESYSTEM);
    dialog->SetTitle(L"选择需要 ARM 兼容设置的 x86 主程序");
    const WideBuffer path = ShowAndTake(dialog.get());
    if (path.empty()) return;
    if (IsX86Executable(path)) {
        g_app.armTargetPath = path;
        StartTask(kTaskArmSettings);
    } else {
        SetTextIfChanged(Control(kNoticeLabel), u"请选择有效的 x86 主程序；此配置不应用于 x64、ARM64 或损坏的文件。");
    }
}
