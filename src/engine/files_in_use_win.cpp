#include "engine/files_in_use_win.h"

#include <tlhelp32.h>

#include <vector>

#include "base/handles_win.h"
#include "base/wide_win.h"
#include "engine/files_in_use.h"
#include "package/path_rules.h"
#include "package/path_safety_win.h"

namespace {

constexpr DWORD kOpenRights = PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE;
constexpr DWORD kImagePathRoom = 32768;

// The file and the folder are ours to act on: a product folder that passes the
// install rules, and the busy file really inside it.
bool InUsePreconditionsHold(const ProductEntry& product) {
    if (product.busy_file.empty() || !IsDecimalDigits(product.puc_type)) return false;
    return ValidateProductDir(product, FolderOfPath(product.deploy_dir), product.deploy_dir) &&
           IsOwnedPath(product.deploy_dir, product.busy_file);
}

bool ImagePathOf(HANDLE process, std::vector<wchar_t>& buffer, WideBuffer& path) {
    DWORD size = kImagePathRoom;
    if (!QueryFullProcessImageNameW(process, 0, buffer.data(), &size)) return false;
    path.assign(U(buffer.data()), size);
    return true;
}

// The processes other than this one whose program lies in folder; their
// handles are kept so the same processes are the ones ended later.
void CollectOwnedProcesses(std::u16string_view folder, InUseList& list, std::vector<UniqueHandle>& kept) {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return;
    std::vector<wchar_t> buffer(kImagePathRoom);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == self) continue;
        UniqueHandle process(OpenProcess(kOpenRights, FALSE, entry.th32ProcessID));
        WideBuffer image;
        if (!process || !ImagePathOf(process.get(), buffer, image) || !IsOwnedPath(folder, image)) continue;
        if (!AddInUseProcess(list, U(entry.szExeFile), entry.th32ProcessID)) return;
        kept.push_back(std::move(process));
    }
}

bool AskToClose(HWND owner, const InUseList& list) {
    return MessageBoxW(owner, W(list.prompt), W(u"软件正在运行"), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) ==
           IDYES;
}

// Ends the ones still running, then waits for all of them within one budget.
bool EndProcesses(const std::vector<UniqueHandle>& processes) {
    bool ended = true;
    for (const UniqueHandle& process : processes) {
        DWORD code = 0;
        if (GetExitCodeProcess(process.get(), &code) && code != STILL_ACTIVE) continue;
        if (!g_endProcess(process.get(), 1)) ended = false;
    }
    const DWORD start = GetTickCount();
    for (const UniqueHandle& process : processes) {
        DWORD left = WaitTimeLeft(start, GetTickCount(), kInUseWaitMs);
        if (WaitForSingleObject(process.get(), left) != WAIT_OBJECT_0) ended = false;
    }
    return ended;
}

}  // namespace

BOOL(WINAPI* g_endProcess)(HANDLE process, UINT exitCode) = TerminateProcess;

bool IsOwnedPath(std::u16string_view folder, std::u16string_view path) {
    // "Tool\..\Other" passes the text test and exists, yet lies elsewhere.
    WideBuffer full;
    if (!FullPathOf(path, full) || full != path || !IsStrictlyUnder(folder, path)) return false;
    for (const WideBuffer& prefix : ReparseCheckPrefixes(path)) {
        DWORD attributes = GetFileAttributesW(W(prefix));
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    }
    return true;
}

bool ResolveFilesInUse(const ProductEntry& product, HWND owner) {
    if (!InUsePreconditionsHold(product)) return false;
    InUseList list;
    StartInUseList(list, product.busy_file);
    std::vector<UniqueHandle> processes;
    CollectOwnedProcesses(product.deploy_dir, list, processes);
    bool agreed = ShouldAskToClose(list) && AskToClose(owner, list);
    bool closed = agreed && EndProcesses(processes);
    LogInUseOutcome(list, product.puc_type, product.busy_file, agreed, closed);
    return closed;
}
