#include "engine/shortcut_win.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/system_win.h"
#include "base/wide_win.h"
#include "engine/shortcut.h"
#include "package/path_safety_win.h"
#include "package/transaction_win.h"

namespace {

// A link file is written in one go by the shell; a stale or planted file in
// its place (a hard link elsewhere, a link on the way) is never written through.
bool PrepareStagedPath(const WideBuffer& staged) {
    return HasNoReparsePoint(staged) && DeleteIfPresent(staged);
}

bool SaveShellLink(const ProductEntry& product, const WideBuffer& staged) {
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.receiveVoid()))) {
        return false;
    }
    const WideBuffer folder = FolderOfPath(product.main_program_path);
    if (FAILED(link->SetPath(W(product.main_program_path))) || FAILED(link->SetDescription(W(product.puc_name))) ||
        FAILED(link->SetWorkingDirectory(W(folder))) || FAILED(link->SetIconLocation(W(product.main_program_path), 0))) {
        return false;
    }
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.receiveVoid()))) return false;
    return PrepareStagedPath(staged) && SUCCEEDED(file->Save(W(staged), TRUE));
}

}  // namespace

bool CreateDesktopShortcut(ProductEntry& product, InstallTransaction& transaction) {
    WideBuffer desktop, target, staged;
    bool created = DesktopFolder(desktop);
    if (created) {
        PathJoin(target, desktop, DesktopLinkName(product.puc_name));
        PathJoin(staged, transaction.work_folder, kStagedShortcutName);
        created = SaveShellLink(product, staged) && RegisterTempFile(transaction, staged) &&
                  DeployFile(transaction, staged, target, product);
    }
    if (!created && product.last_error.empty()) {
        product.last_error = u"创建桌面快捷方式失败，请检查桌面权限后重试。";
    }
    return created;
}
