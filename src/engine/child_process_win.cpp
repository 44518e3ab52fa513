#include "engine/child_process_win.h"

#include <shellapi.h>

#include <vector>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/system_win.h"
#include "base/text_format.h"
#include "base/wide_win.h"
#include "package/path_safety_win.h"

namespace {

constexpr DWORD kCancelledExitCode = 1223;  // ERROR_CANCELLED

// Standard output and error to outputFile, input from NUL, both inheritable.
// The output file is always a new file: one left in its place (perhaps a hard
// link to a file elsewhere, planted in a folder a user can write) is deleted,
// never written through, and no link may lie on the way to it.
bool OpenRedirection(const char16_t* outputFile, UniqueHandle& output, UniqueHandle& input) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    if (!HasNoReparsePoint(outputFile)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (!DeleteIfPresent(outputFile)) return false;
    output.reset(CreateFileW(W(outputFile), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) return false;  // its error, not one of the next open
    input.reset(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                            nullptr));
    return static_cast<bool>(input);
}

// Waits in 100 ms steps so a cancel stops the child quickly.
bool WaitForChild(HANDLE process, HANDLE cancelEvent) {
    for (;;) {
        DWORD wait = WaitForSingleObject(process, 100);
        if (wait == WAIT_OBJECT_0) return true;
        if (wait != WAIT_TIMEOUT) return false;
        if (IsCancelled(cancelEvent)) {
            TerminateProcess(process, kCancelledExitCode);
            WaitForSingleObject(process, 5000);
            SetLastError(kCancelledExitCode);
            return false;
        }
    }
}

// The child has ended, but a helper of its console may still hold the output
// file for a moment (Wine's console host does); its output is complete only
// once no one writes to it any more. Never waits more than two seconds.
void WaitForOutputReleased(const char16_t* outputFile) {
    for (int i = 0; i < 200; ++i) {
        UniqueHandle probe(CreateFileW(W(outputFile), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (probe || GetLastError() != ERROR_SHARING_VIOLATION) return;
        Sleep(10);
    }
}

bool ReadAppPathIn(HKEY root, REGSAM view, const WideBuffer& key, WideBuffer& path) {
    UniqueRegKey opened;
    if (RegOpenKeyExW(root, W(key), 0, KEY_READ | view, opened.receive()) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(opened.get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ ||
        size >= 0x10000) {
        return false;
    }
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read = size;
    if (RegQueryValueExW(opened.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &read) !=
        ERROR_SUCCESS) {
        return false;
    }
    // Registered values are not always tidy ("C:\x\\app.exe", a trailing
    // space); the path is kept in the full form that the install record needs.
    WideBuffer full;
    if (!FullPathOf(U(buffer.data()), full) || !FileExists(full) || !HasNoReparsePoint(full)) return false;
    path = full;
    return true;
}

}  // namespace

BOOL(WINAPI* g_readExitCode)(HANDLE process, LPDWORD code) = GetExitCodeProcess;

bool RunChildProcess(std::u16string_view program, std::u16string_view arguments, std::u16string_view workingFolder,
                     const char16_t* outputFile, HANDLE cancelEvent, DWORD* exitCode) {
    WideBuffer commandLine;
    TextFormat(commandLine, u"\"%s\" %s", WideBuffer(program), WideBuffer(arguments));
    UniqueHandle output, input;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    bool redirect = outputFile != nullptr;
    if (redirect) {
        if (!OpenRedirection(outputFile, output, input)) return false;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output.get();
        startup.hStdError = output.get();
        startup.hStdInput = input.get();
    }
    PROCESS_INFORMATION info = {};
    const WideBuffer programPath(program), folder(workingFolder);
    BOOL created = CreateProcessW(W(programPath), W(&commandLine[0]), nullptr, nullptr, redirect, CREATE_NO_WINDOW,
                                  nullptr, folder.empty() ? nullptr : W(folder), &startup, &info);
    DWORD createError = GetLastError();
    output.reset();
    input.reset();
    if (!created) {
        SetLastError(createError);
        return false;
    }
    CloseHandle(info.hThread);
    UniqueHandle process(info.hProcess);
    bool completed = WaitForChild(process.get(), cancelEvent);
    DWORD lastError = GetLastError();
    DWORD code = 0;
    bool readable = g_readExitCode(process.get(), &code) != FALSE;
    if (!readable) {
        code = 0;
        // A run that ended but whose result is unknown is no success.
        if (completed) lastError = GetLastError();
        completed = false;
    }
    if (redirect) WaitForOutputReleased(outputFile);
    if (exitCode) *exitCode = code;
    process.reset();
    SetLastError(lastError);
    return completed;
}

bool FindAppPath(std::u16string_view fileName, WideBuffer& path) {
    WideBuffer key;
    TextFormat(key, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\%s", WideBuffer(fileName));
    const struct { HKEY root; REGSAM view; } places[] = {
        {HKEY_CURRENT_USER, KEY_WOW64_32KEY}, {HKEY_CURRENT_USER, KEY_WOW64_64KEY},
        {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY}, {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY}};
    for (const auto& place : places) {
        if (ReadAppPathIn(place.root, place.view, key, path)) return true;
    }
    return false;
}

bool RunInstaller(ProductEntry& product, StatusCallback callback, void* context, UniqueHandle* heldPackage) {
    ReportStatus(&product, u"请按软件安装向导完成安装，当前正在等待安装程序结束。", callback, context);
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    execute.lpFile = W(product.package_path);
    execute.lpDirectory = W(product.deploy_dir);
    execute.nShow = SW_SHOWNORMAL;
    BOOL started = ShellExecuteExW(&execute);
    DWORD startError = GetLastError();
    if (!started || !execute.hProcess) {
        if (heldPackage) heldPackage->reset();
        product.failure_kind = 5;
        FormatSystemError(product.last_error, u"无法启动安装程序", startError);
        return false;
    }
    UniqueHandle process(execute.hProcess);
    WaitForSingleObject(process.get(), INFINITE);
    // The package runs elevated from a folder others may reach: it stays held
    // against writing and deletion for as long as it runs.
    if (heldPackage) heldPackage->reset();
    DWORD code = 0;
    bool readable = g_readExitCode(process.get(), &code) != FALSE;
    if (!readable) code = 0;  // shown as 0, but never taken for success
    process.reset();
    if (readable && (code == 0 || code == 1641 || code == 3010)) {
        if (product.runname.empty()) return true;
        if (FindFileByName(product.deploy_dir, product.runname, product.main_program_path)) return true;
        if (FindAppPath(product.runname, product.main_program_path)) return true;
        product.failure_kind = 3;
        return RecordFailure(product,
                             u"已完成安装，但主程序找不到，可能被杀毒软件拦截隔离导致，请您解决杀毒软件重新安装再试", true);
    }
    product.failure_kind = 5;
    product.last_error.clear();
    TextFormat(product.last_error, u"安装程序返回失败，退出码 %u。", static_cast<uint32_t>(code));
    return false;
}
