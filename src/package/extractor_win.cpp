#include "package/extractor_win.h"

#include <vector>

#include "base/file_win.h"
#include "base/system_win.h"
#include "base/text_format.h"
#include "base/wide_win.h"
#include "engine/child_process_win.h"
#include "package/extractor.h"
#include "package/path_safety_win.h"
#include "package/transaction_win.h"

namespace {

bool SafeJoin(std::u16string_view destination, std::u16string_view name, WideBuffer& target) {
    return SafeJoinRelative(destination, name, target);
}

bool ExtractFailed(ProductEntry& product, DWORD code) {
    if (product.last_error.empty()) {
        TextFormat(product.last_error, u"解压失败，退出码 %u。安装包可能损坏、路径不安全，或自解压格式不支持当前参数。",
                   static_cast<uint32_t>(code));
    }
    return false;
}

}  // namespace

bool CheckListingFile(const WideBuffer& log, std::u16string_view destination, bool is7zip) {
    ByteBuffer bytes;
    if (!ReadWholeFile(log, bytes)) {
        // Only an existing file of zero bytes is an empty listing (ReadWholeFile
        // refuses those); a missing or unreadable log proves nothing.
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(W(log), GetFileExInfoStandard, &data) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || data.nFileSizeHigh != 0 || data.nFileSizeLow != 0) {
            return false;
        }
    }
    return CheckArchiveListing(bytes.data(), bytes.size(), destination, is7zip, SafeJoin);
}

bool FindExtractor(std::u16string_view folder, std::u16string_view program, WideBuffer& path) {
    for (const wchar_t* variable : {L"ProgramFiles", L"ProgramW6432", L"ProgramFiles(x86)"}) {
        WideBuffer root, candidate, inFolder;
        if (!ReadEnvironmentVariable(variable, 32768, root)) continue;
        PathJoin(inFolder, root, folder);
        PathJoin(candidate, inFolder, program);
        if (FileExists(candidate)) {
            path = candidate;
            return true;
        }
    }
    std::vector<wchar_t> found(32768);
    WideBuffer name(program);
    DWORD n = SearchPathW(nullptr, W(name), nullptr, 32768, found.data(), nullptr);
    if (n == 0 || n >= 32768) return false;
    path.assign(U(found.data()), n);
    return true;
}

bool RunExternalExtractor(ProductEntry& product, InstallTransaction& transaction, std::u16string_view destination,
                          PackageFormat format, HANDLE cancelEvent) {
    WideBuffer log, tool;
    PathJoin(log, transaction.work_folder, u"extract.log");
    if (!IsExternalArchiveFormat(format)) return ExtractFailed(product, 0);
    bool is7zip = FindExtractor(u"7-Zip", u"7z.exe", tool);
    bool found = is7zip || ((format == kFormatRar || format == kFormatRarSfx) && FindExtractor(u"WinRAR", u"Rar.exe", tool));
    DWORD code = 0;
    bool ok = false;
    if (found) {
        bool listed = RunChildProcess(tool, ListArguments(is7zip, product.package_path), destination, log.c_str(),
                                      cancelEvent, &code) &&
                      code == 0;
        RegisterTempFile(transaction, log);
        if (listed && CheckListingFile(log, destination, is7zip)) {
            ok = RunChildProcess(tool, ExtractArguments(is7zip, product.package_path, destination), destination,
                                 log.c_str(), cancelEvent, &code) &&
                 code == 0;
            RegisterTempFile(transaction, log);
        } else if (listed) {
            code = 0;  // the listing ran but named an unsafe entry: nothing was extracted
        }
    } else if (format == kFormatRar || format == kFormat7z) {
        product.last_error = format == kFormatRar ? u"未找到RAR解压软件，请安装7-Zip或WinRAR后重试。"
                                                  : u"未找到7Z解压软件，请安装7-Zip后重试。";
        return false;
    } else {
        // A self-extractor unpacks itself; no listing can be checked first.
        ok = RunChildProcess(product.package_path, SelfExtractArguments(format, destination), destination,
                             log.c_str(), cancelEvent, &code) &&
             code == 0;
        RegisterTempFile(transaction, log);
    }
    return ok || ExtractFailed(product, code);
}
