#include "package/ledger_win.h"

#include "base/handles_win.h"
#include "base/wide_win.h"
#include "package/path_safety_win.h"

void AppendLedgerLine(const InstallTransaction& transaction, std::u16string_view kind, std::u16string_view path) {
    std::string line = LedgerLineText(kind, path);
    if (!HasNoReparsePoint(transaction.ledger_path)) return;
    UniqueHandle file(CreateFileW(W(transaction.ledger_path), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                                  nullptr, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    // A second name (a planted hard link) would carry the line into a file
    // elsewhere; a link opened as itself is no ledger either.
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !GetFileInformationByHandle(file.get(), &info) || info.nNumberOfLinks != 1 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return;
    }
    DWORD written = 0;
    WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    // Recovery after a power cut reads this line as "the copy began".
    if (kind == kLedgerAboutToOverwrite) FlushFileBuffers(file.get());
}
