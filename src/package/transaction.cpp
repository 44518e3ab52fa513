#include "package/transaction.h"

#include "base/text_format.h"

const char16_t kLedgerTemporary[] = u"临时文件";
const char16_t kLedgerAboutToOverwrite[] = u"即将覆盖";
const char16_t kLedgerOverwritten[] = u"覆盖完成";
const char16_t kLedgerOverwriteFailed[] = u"覆盖失败";
const char16_t kLedgerCommitted[] = u"安装提交";
const char16_t kLedgerRolledBack[] = u"撤回完成";
const char16_t kLedgerRollbackFailed[] = u"撤回失败";
const char16_t kLedgerCleaned[] = u"清理完成";
const char16_t kLedgerCleanFailed[] = u"清理失败";

std::string LedgerLineText(std::u16string_view kind, std::u16string_view path) {
    WideBuffer line;
    TextFormat(line, u"%s\t%s\r\n", WideBuffer(kind), WideBuffer(path));
    return WideToUtf8(line);
}

WideBuffer WorkFolderName(std::u16string_view pucType, uint32_t processId, uint32_t tick) {
    WideBuffer name;
    TextFormat(name, u"%s-%u-%u", WideBuffer(pucType), processId, tick);
    return name;
}

WideBuffer BackupFileName(uint32_t tick, uint32_t number) {
    WideBuffer name;
    TextFormat(name, u"backup-%u-%u.bin", tick, number);
    return name;
}

namespace {

void RebuildIndex(InstallTransaction& transaction) {
    LedgerIndex& index = transaction.index;
    index.by_path.clear();
    // Oldest first, so that the newest entry for a path wins.
    for (auto entry = transaction.entries.rbegin(); entry != transaction.entries.rend(); ++entry) {
        index.by_path[FoldedText(entry->path)] = &*entry;
    }
    index.indexed = transaction.entries.size();
}

}  // namespace

LedgerEntry* FindLedgerEntry(InstallTransaction& transaction, std::u16string_view path) {
    if (transaction.index.indexed != transaction.entries.size()) RebuildIndex(transaction);
    auto found = transaction.index.by_path.find(FoldedText(path));
    return found == transaction.index.by_path.end() ? nullptr : found->second;
}

LedgerEntry& AddLedgerEntry(InstallTransaction& transaction, LedgerEntry entry) {
    LedgerIndex& index = transaction.index;
    bool current = index.indexed == transaction.entries.size();
    transaction.entries.push_front(std::move(entry));
    LedgerEntry& added = transaction.entries.front();
    if (current) {
        index.by_path[FoldedText(added.path)] = &added;
        ++index.indexed;
    } else {
        index.indexed = static_cast<size_t>(-1);  // the list changed behind the index
    }
    return added;
}
