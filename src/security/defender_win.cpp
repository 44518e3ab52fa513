// Runs PowerShell for the Defender steps under a waitable timer that stops it.
// The exclusion runs the native 64-bit PowerShell (through Sysnative under
// WOW64), since the Defender module belongs to the native system.
#include "security/defender_win.h"

#include <shlobj.h>

#include <vector>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/log.h"
#include "base/system_win.h"
#include "base/text_format.h"
#include "base/wide_win.h"
#include "engine/child_process_win.h"
#include "package/path_rules.h"
#include "package/path_safety_win.h"

namespace {

constexpr char16_t kPowerShellBelowSystem[] = u"WindowsPowerShell\\v1.0\\powershell.exe";

// A manual-reset timer that fires once after ms; empty on failure.
UniqueHandle StartTimer(DWORD ms, bool& armed) {
    UniqueHandle timer(CreateWaitableTimerW(nullptr, TRUE, nullptr));
    armed = false;
    if (!timer) return timer;
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(ms) * 10000;
    armed = SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, FALSE) != FALSE;
    return timer;
}

// path with every component in its long form when it exists (a short 8.3
// name would not match the protected folders' text); otherwise unchanged.
WideBuffer LongPathOf(const WideBuffer& path) {
    DWORD needed = GetLongPathNameW(W(path), nullptr, 0);
    if (needed == 0) return path;
    std::vector<wchar_t> buffer(needed + 1);
    DWORD n = GetLongPathNameW(W(path), buffer.data(), needed + 1);
    if (n == 0 || n > needed) return path;
    return TrimTrailingBackslashes(std::u16string_view(U(buffer.data()), n));
}

// The shell folders an exclusion must not cover, and under WOW64 the real
// Program Files, which the shell names only through %ProgramW6432%.
std::vector<WideBuffer> ProtectedFolderPaths() {
    std::vector<WideBuffer> folders;
    for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_PROFILE, CSIDL_LOCAL_APPDATA, CSIDL_APPDATA,
                      CSIDL_COMMON_APPDATA, CSIDL_DESKTOPDIRECTORY}) {
        wchar_t path[MAX_PATH];
        if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) {
            folders.emplace_back(U(path));
        }
    }
    WideBuffer programW6432;
    if (ReadEnvironmentVariable(L"ProgramW6432", 32768, programW6432)) folders.push_back(programW6432);
    return folders;
}

// Each protected folder by its text, its long form, and the identities of it
// and of every folder above it that exists.
ProtectedFolders ReadProtectedFolders() {
    ProtectedFolders result;
    for (const WideBuffer& folder : ProtectedFolderPaths()) {
        result.paths.push_back(folder);
        WideBuffer full;
        if (folder.empty() || !FullPathOf(folder, full)) continue;
        full = LongPathOf(full);
        if (!EqualsNoCase(full, folder)) result.paths.push_back(full);
        for (const WideBuffer& each : FolderAndAncestors(full)) {
            FileIdentity identity;
            if (ReadFileIdentity(each, identity) && identity.directory) result.identities.push_back(identity);
        }
    }
    return result;
}

// The 64-bit PowerShell on a 64-bit system, so that Defender's own module is
// the one asked: the WOW64 question first (a failure to answer is said, never
// taken for "no"), then the Windows folder, which must fit in MAX_PATH.
bool ExclusionPowerShell(WideBuffer& powerShell, WideBuffer& message) {
    BOOL wow64 = FALSE;
    if (!g_isWow64Process(GetCurrentProcess(), &wow64)) {
        FormatSystemError(message, u"无法确认系统架构", GetLastError());
        return false;
    }
    wchar_t windows[MAX_PATH];
    UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        message = u"无法定位 Windows 系统目录。";
        return false;
    }
    WideBuffer system;
    PathJoin(system, std::u16string_view(U(windows), length), wow64 ? u"Sysnative" : u"System32");
    PathJoin(powerShell, system, kPowerShellBelowSystem);
    return true;
}


bool RunExclusion(const WideBuffer& full, WideBuffer& message, DWORD timeLimitMs) {
    WideBuffer powerShell;
    if (!ExclusionPowerShell(powerShell, message)) return false;
    bool armed = false;
    UniqueHandle timer = StartTimer(timeLimitMs, armed);
    if (!timer || !armed) {
        FormatSystemError(message, timer ? u"无法启动排除项设置超时计时器" : u"无法创建排除项设置超时计时器",
                          GetLastError());
        return false;
    }
    LogLine(u"[Parcelwright] 使用系统 PowerShell 添加并核验排除项：%s", powerShell);
    DWORD exitCode = 0;
    if (!RunChildProcess(powerShell, ExclusionArguments(full), u"", nullptr, timer.get(), &exitCode)) {
        DWORD error = GetLastError();
        if (IsCancelled(timer.get())) {
            message = u"PowerShell 设置 Windows Defender 排除项超过30秒，已停止命令，安装将继续。";
        } else {
            FormatSystemError(message, u"无法启动或等待排除项设置", error);
        }
        return false;
    }
    return ExclusionExitMessage(exitCode, message);
}

bool TryExclusion(std::u16string_view folder, WideBuffer& full, WideBuffer& message, DWORD timeLimitMs) {
    if (!ValidateInstallRoot(folder, message)) return false;
    if (!FullPathOf(folder, full)) {
        FormatSystemError(message, u"无法解析安装目录", GetLastError());
        full.clear();
        return false;
    }
    full = LongPathOf(full);
    FileIdentity identity;
    const bool exists = ReadFileIdentity(full, identity);
    if (IsExclusionRefused(full, exists ? &identity : nullptr, ReadProtectedFolders())) {
        message = kExclusionRefused;
        return false;
    }
    return RunExclusion(full, message, timeLimitMs);
}

bool ExcludeThroughDefender(std::u16string_view folder, WideBuffer& message, void*) {
    return AddDefenderExclusion(folder, message);
}

}  // namespace

BOOL(WINAPI* g_isWow64Process)(HANDLE process, PBOOL wow64) = IsWow64ProcessIfPresent;

bool AddDefenderExclusion(std::u16string_view folder, WideBuffer& message, DWORD timeLimitMs) {
    message.clear();
    const WideBuffer given(folder);
    LogLine(u"[Parcelwright] 开始添加安装目录排除项：%s", given);
    WideBuffer full;
    bool ok = TryExclusion(folder, full, message, timeLimitMs);
    LogLine(u"[Parcelwright] 安装目录排除项%s：%s；%s", ok ? u"已核验" : u"未完成", full.empty() ? given : full,
            message);
    return ok;
}

void AddExclusionOnce(std::u16string_view folder, ExclusionRun& run) {
    AddExclusionOnce(folder, run, ExcludeThroughDefender, nullptr);
}

int DefenderStatus(DWORD timeLimitMs) {
    WideBuffer temp;
    {
        std::vector<wchar_t> buffer(32768);
        DWORD n = GetTempPathW(32768, buffer.data());
        if (n == 0 || n >= 32768) return -1;
        temp.assign(U(buffer.data()), n);
    }
    const WideBuffer output = StatusFileName(temp, GetCurrentProcessId(), GetTickCount());
    std::vector<wchar_t> system(MAX_PATH);
    UINT n = GetSystemDirectoryW(system.data(), MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return -1;
    WideBuffer powerShell;
    PathJoin(powerShell, U(system.data()), kPowerShellBelowSystem);
    bool armed = false;
    UniqueHandle timer = StartTimer(timeLimitMs, armed);
    if (!armed) timer.reset();  // an unarmed timer would never stop it
    DWORD exitCode = 1;
    int status = -1;
    if (RunChildProcess(powerShell, kStatusArguments, u"", output.c_str(), timer.get(), &exitCode) && exitCode == 0) {
        ByteBuffer bytes;
        if (ReadWholeFile(output, bytes)) status = ScanStatusOutput(bytes);
    }
    DeleteIfPresent(output);
    return status;
}
