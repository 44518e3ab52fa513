// Defender decisions kept apart from PowerShell and the shell so that the
// command texts and folder rules can be checked on any machine.
#include "security/defender.h"

#include "base/log.h"
#include "base/memory.h"
#include "base/text_format.h"
#include "package/path_rules.h"

const char16_t kExclusionRefused[] =
    u"只能为专用软件安装目录添加排除项，不能排除系统、用户目录或其上级目录。";

const char16_t kStatusArguments[] =
    u"-NoProfile -NonInteractive -Command \"& {try {$s=Get-MpComputerStatus -ErrorAction Stop;"
    u"if($s.AntivirusEnabled -and $s.AMRunningMode -ne 'Passive'){Write-Output 'enabled'}"
    u"else{Write-Output 'disabled'}}catch{Write-Output 'unknown'}}\"";

namespace {

void AppendErrorLine(WideBuffer& errors, std::u16string_view line) {
    if (!errors.empty()) errors += u"\r\n";
    errors += line;
}

bool IsDriveRoot(std::u16string_view path) {
    return path.size() <= 3 && path.size() >= 2 && path[1] == u':';
}

}  // namespace

void AddExclusionOnce(std::u16string_view folder, ExclusionRun& run, ExcludeFolderFn exclude, void* context) {
    if (folder.empty()) return;
    for (const WideBuffer& done : run.folders) {
        if (EqualsNoCase(done, folder)) return;
    }
    if (run.folders.size() >= kMaxExclusionsPerRun) {
        AppendErrorLine(run.errors, u"排除项目标数量超出限制。");
        return;
    }
    const WideBuffer text(folder);
    if (!TryResize(run.folders, run.folders.size() + 1)) {
        WideBuffer line;
        TextFormat(line, u"%s：内存不足，无法核验排除项。", text);
        AppendErrorLine(run.errors, line);
        return;
    }
    run.folders.back() = text;
    WideBuffer message;
    if (exclude(folder, message, context) || message.empty()) return;
    LogLine(u"[Parcelwright] 排除项未完成：%s；%s", text, message);
    WideBuffer line;
    TextFormat(line, u"%s：%s", text, message);
    AppendErrorLine(run.errors, line);
}

bool IsExclusionRefused(std::u16string_view fullPath, const std::vector<WideBuffer>& protectedFolders) {
    const WideBuffer full = TrimTrailingBackslashes(fullPath);
    if (IsDriveRoot(full)) return true;
    for (const WideBuffer& folder : protectedFolders) {
        const WideBuffer known = TrimTrailingBackslashes(folder);
        if (known.empty()) continue;
        if (EqualsNoCase(full, known) || IsStrictlyUnder(full, known)) return true;
    }
    return false;
}

bool IsExclusionRefused(std::u16string_view fullPath, const FileIdentity* identity,
                        const ProtectedFolders& protectedFolders) {
    if (IsExclusionRefused(fullPath, protectedFolders.paths)) return true;
    if (!identity || (identity->indexHigh == 0 && identity->indexLow == 0)) return false;
    for (const FileIdentity& known : protectedFolders.identities) {
        if (known == *identity) return true;
    }
    return false;
}

std::vector<WideBuffer> FolderAndAncestors(std::u16string_view fullPath) {
    std::vector<WideBuffer> chain;
    WideBuffer current = TrimTrailingBackslashes(fullPath);
    while (!current.empty()) {
        if (current.size() == 2 && current[1] == u':') current.push_back(u'\\');
        chain.push_back(current);
        if (IsDriveRoot(current)) break;
        WideBuffer parent = FolderOfPath(current);
        // A network path ends at "\\server": the lone "\" above it would name
        // the current drive's root.
        if (parent.size() < 2 || parent.size() >= current.size()) break;
        current = parent;
    }
    return chain;
}

WideBuffer QuotePowerShellLiteral(std::u16string_view text) {
    WideBuffer quoted;
    for (char16_t c : text) {
        // PowerShell ends a single-quoted string at any of these and reads a
        // doubled one as one literal quote.
        if (c == u'\'' || (c >= u'\u2018' && c <= u'\u201B')) quoted.push_back(c);
        quoted.push_back(c);
    }
    return quoted;
}

WideBuffer ExclusionArguments(std::u16string_view fullPath) {
    WideBuffer arguments;
    TextFormat(arguments,
               u"-NoProfile -NonInteractive -WindowStyle Hidden -Command \"& {try {$ErrorActionPreference='Stop'; "
               u"$path='%s'; if (@((Get-MpPreference -ErrorAction Stop).ExclusionPath) -notcontains $path) "
               u"{Add-MpPreference -ExclusionPath $path -ErrorAction Stop}; if (@((Get-MpPreference -ErrorAction "
               u"Stop).ExclusionPath) -notcontains $path) {exit 1168}; exit 0} catch {exit ($_.Exception.HResult)}}\"",
               QuotePowerShellLiteral(fullPath));
    return arguments;
}

bool ExclusionExitMessage(uint32_t exitCode, WideBuffer& message) {
    message.clear();
    if (exitCode == 0) {
        message = u"添加成功或已存在";
        return true;
    }
    if (exitCode == kExclusionStillMissing) {
        message = u"命令执行后未在 Defender 排除列表中找到安装目录，可能由 Windows 篡改防护或组织策略阻止。";
    } else {
        TextFormat(message,
                   u"Windows Defender 排除项设置失败（PowerShell 错误 0x%x），请检查 Defender 服务、篡改防护或组织策略。",
                   exitCode);
    }
    return false;
}

WideBuffer StatusFileName(std::u16string_view tempFolder, uint32_t processId, uint32_t tick) {
    WideBuffer name;
    TextFormat(name, u"%sTwDefender-%u-%u.txt", WideBuffer(tempFolder), processId, tick);
    return name;
}

int ScanStatusOutput(const ByteBuffer& output) {
    if (output.size() <= 6) return -1;
    const std::string_view bytes(reinterpret_cast<const char*>(output.data()), output.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::string_view rest = bytes.substr(i);
        if (rest.substr(0, 7) == "enabled") return 1;
        if (rest.substr(0, 8) == "disabled") return 0;
    }
    return -1;
}
