#include "package/ledger_win.h"

#include "base/wide_win.h"
#include "package/path_safety_win.h"

bool OpenAppendOnly(const WideBuffer& path, DWORD disposition, UniqueHandle& file) {
    file.reset();
    if (!HasNoReparsePoint(path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    UniqueHandle opened(CreateFileW(W(path), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!opened || !GetFileInformationByHandle(opened.get(), &info)) return false;
    if (info.nNumberOfLinks != 1 || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    file = std::move(opened);
    return true;
}

bool KeepLedgerOpen(InstallTransaction& transaction) {
    UniqueHandle file;
    if (!OpenAppendOnly(transaction.ledger_path, OPEN_ALWAYS, file)) return false;
    transaction.ledger_file = std::shared_ptr<void>(file.release(), [](void* handle) { CloseHandle(handle); });
    return true;
}

void AppendLedgerLine(const InstallTransaction& transaction, std::u16string_view kind, std::u16string_view path) {
    std::string line = LedgerLineText(kind, path);
    UniqueHandle own;
    HANDLE file = transaction.ledger_file.get();
    if (!file) {
        if (!OpenAppendOnly(transaction.ledger_path, OPEN_ALWAYS, own)) return;
        file = own.get();
    }
    // Not flushed: recovery.tsv is, before each overwrite, and recovery
    // undoes every record line that the ledger does not show as finished.
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
