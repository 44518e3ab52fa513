#include "package/manifest_win.h"

#include <windows.h>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/log.h"
#include "base/system_win.h"
#include "base/wide_win.h"
#include "package/path_rules.h"
#include "package/path_safety_win.h"

namespace {

const char16_t kManifestInvalid[] = u"安装记录无法读取或路径不安全，停止自动维护，请联系客服。";

// A manifest-sized file read whole: at most 16 MiB, found by its attributes first.
bool ReadManifestFile(const WideBuffer& path, ByteBuffer& bytes) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(W(path), GetFileExInfoStandard, &data)) return false;
    if (data.nFileSizeHigh != 0 || data.nFileSizeLow > kMaxManifestSize) return false;
    return ReadWholeFile(path, bytes);
}

bool VerifyManifest(ProductEntry& product, const WideBuffer& path) {
    ByteBuffer bytes;
    ManifestFields fields;
    if (!ReadManifestFile(path, bytes) || !ParseManifestBytes(bytes.data(), bytes.size(), fields)) return false;
    product.installed_root = fields.base;
    product.installed_dir = fields.dir;
    product.installed_main = fields.main;
    product.installed_version = fields.version;
    product.installer_type = fields.type == ManifestTypeInstaller;
    product.file_list = fields.files;
    // Every recorded path must already be in its full, normalised form, so
    // that ".." cannot make a path look as if it lay inside DIR.
    for (const WideBuffer* path : {&fields.base, &fields.dir, &fields.main}) {
        WideBuffer full;
        if (path == &fields.main && path->empty()) continue;
        if (!FullPathOf(*path, full) || !EqualsNoCase(full, *path)) return false;
    }
    if (!ValidateProductDir(product, fields.base, fields.dir)) return false;
    for (const WideBuffer& file : product.file_list) {
        if (!ValidateRecordedFile(product, file)) return false;
    }
    if (!fields.main.empty()) {
        if (!HasNoReparsePoint(fields.main)) return false;
        if (fields.type == ManifestTypeDeployed && !IsStrictlyUnder(fields.dir, fields.main)) return false;
    }
    return true;
}

// No manifest: a folder that looks like our install of the product still counts.
void DetectUnrecordedInstall(ProductEntry& product, std::u16string_view installRoot) {
    if (!FullPathOf(installRoot, product.installed_root)) product.installed_root.clear();
    WideBuffer dir;
    if (!SafeJoinRelative(product.installed_root, SanitizeFolderName(product.puc_name), dir)) return;
    product.installed_dir = dir;
    WideBuffer main;
    if (DirectoryExists(dir) && ValidateProductDir(product, product.installed_root, dir) && !product.runname.empty() &&
        FindFileByName(dir, product.runname, main)) {
        product.installed_main = main;
        product.installed = true;
    }
}

bool CollectFileLines(const ProductEntry& product, const InstallTransaction& transaction,
                      std::vector<WideBuffer>& lines) {
    for (const WideBuffer& file : product.file_list) {
        if (!HasNoControlChars(file) || !ValidateRecordedFile(product, file)) return false;
        lines.push_back(file);
    }
    for (const LedgerEntry& entry : transaction.entries) {
        if (entry.temporary) continue;
        if (!HasNoControlChars(entry.path)) return false;
        lines.push_back(entry.path);
    }
    return true;
}

// MAIN as the reader will accept it: the full, normalised path (an App Paths
// value such as "C:\x\\app.exe " names an existing file but is not in that
// form), or empty when it cannot be, so that one odd path never makes the
// whole record unreadable.
WideBuffer RecordableMain(std::u16string_view main, std::u16string_view dir, uint32_t type) {
    WideBuffer full;
    if (main.empty() || !FullPathOf(main, full) || !HasNoControlChars(full) || !HasNoReparsePoint(full)) return {};
    if (type == ManifestTypeDeployed && !IsStrictlyUnder(dir, full)) return {};
    return full;
}

bool WriteManifestFile(const ProductEntry& product, const InstallTransaction& transaction, uint32_t type,
                       const WideBuffer& path, const WideBuffer& temporary) {
    ManifestFields fields;
    fields.base = transaction.root;
    fields.dir = product.deploy_dir;
    fields.main = RecordableMain(product.main_program_path, product.deploy_dir, type);
    fields.version = product.version;
    fields.type = type;
    for (const WideBuffer* text : {&fields.base, &fields.dir, &fields.main, &fields.version}) {
        if (!HasNoControlChars(*text)) return false;
    }
    if (!ValidateProductDir(product, fields.base, fields.dir)) return false;
    std::vector<WideBuffer> lines;
    if (!CollectFileLines(product, transaction, lines)) return false;
    ByteBuffer bytes = BuildManifestBytes(fields, lines);
    if (!EnsureParentDirectory(path) || !HasNoReparsePoint(temporary)) return false;
    if (!WriteFreshFile(temporary, bytes.data(), bytes.size())) return false;
    return MoveFileExW(W(temporary), W(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// Does another product's manifest file record dir? Sets owned; false when the
// file cannot be judged.
bool OtherManifestRecords(const WideBuffer& file, const WIN32_FIND_DATAW& data, std::u16string_view dir,
                          bool& owned) {
    if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        !HasNoReparsePoint(file)) {
        return false;
    }
    ByteBuffer bytes;
    std::vector<WideBuffer> dirs;
    if (!ReadManifestFile(file, bytes) || !ManifestDirValues(bytes.data(), bytes.size(), dirs) || dirs.empty()) {
        return false;
    }
    for (const WideBuffer& recorded : dirs) {
        if (IsSameDirectory(recorded, dir)) owned = true;
    }
    return true;
}

bool ScanManifestFolder(ProductEntry& product, const WideBuffer& own, std::u16string_view dir) {
    WideBuffer folder = own.substr(0, own.rfind(u'\\'));
    WIN32_FIND_DATAW data;
    UniqueFindHandle find = ListFolder(folder, u"*.manifest", data);
    if (!find) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    do {
        WideBuffer file;
        PathJoin(file, folder, U(data.cFileName));
        if (EqualsNoCase(file, own)) continue;
        bool owned = false;
        if (!OtherManifestRecords(file, data, dir, owned)) return false;
        if (owned) {
            product.last_error = u"该软件目录已由其他产品使用，请更换安装根目录后再试。";
            return false;
        }
    } while (FindNextFileW(find.get(), &data));
    return GetLastError() == ERROR_NO_MORE_FILES;
}

}  // namespace

bool ManifestPath(const ProductEntry& product, WideBuffer& path) {
    WideBuffer root;
    if (!ReadEnvironmentVariable(L"LOCALAPPDATA", 260, root) || !IsDecimalDigits(product.puc_type)) return false;
    WideBuffer folder, file = product.puc_type + u".manifest";
    PathJoin(folder, root, u"TwParcelwright\\installed");
    PathJoin(path, folder, file);
    return HasNoReparsePoint(folder) && HasNoReparsePoint(path);
}

bool ValidateRecordedFile(const ProductEntry& product, std::u16string_view path) {
    WideBuffer full;
    if (!FullPathOf(path, full) || !EqualsNoCase(full, path) || !HasNoReparsePoint(path)) return false;
    if (IsStrictlyUnder(product.installed_dir, path)) return true;
    WideBuffer desktop;
    return DesktopFolder(desktop) && IsDirectDesktopShortcut(desktop, path);
}

bool ReadInstallManifest(ProductEntry& product, std::u16string_view installRoot) {
    product.file_list.clear();
    product.installed = product.installer_type = product.manifest_invalid = false;
    product.installed_root.clear();
    product.installed_dir.clear();
    product.installed_main.clear();
    product.installed_version.clear();

    WideBuffer path;
    bool formed = ManifestPath(product, path);
    if (formed && !FileExists(path)) {
        DetectUnrecordedInstall(product, installRoot);
        return true;
    }
    bool valid = formed && VerifyManifest(product, path);
    product.installed = valid;
    product.manifest_invalid = !valid;
    if (!valid) {
        product.file_list.clear();
        product.last_error = kManifestInvalid;
        LogLine(u"[Parcelwright] 产品%s安装记录校验失败。", product.puc_type);
    }
    return valid;
}

bool WriteInstallManifest(ProductEntry& product, const InstallTransaction& transaction, uint32_t type) {
    WideBuffer path;
    bool formed = ManifestPath(product, path);
    const WideBuffer temporary = path + u".tmp";
    if (!formed || !WriteManifestFile(product, transaction, type, path, temporary)) {
        DWORD error = GetLastError();
        // Whatever went wrong, the previous manifest stays as it was.
        if (formed && FileExists(temporary)) DeleteFileW(W(temporary));
        FormatSystemError(product.last_error, u"无法保存安装清单，安装未提交", error);
        return false;
    }
    product.installed_root = transaction.root;
    product.installed_dir = product.deploy_dir;
    product.installed_main = RecordableMain(product.main_program_path, product.deploy_dir, type);
    product.installed_version = product.version;
    product.installer_type = type == ManifestTypeInstaller;
    product.installed = true;
    StringListAdder files(product.file_list);
    for (const LedgerEntry& entry : transaction.entries) {
        if (!entry.temporary) files.Add(entry.path);
    }
    LogLine(u"[Parcelwright] 已保存产品%s安装清单：%s", product.puc_type, path);
    return true;
}

bool CheckDirectoryOwnership(ProductEntry& product, std::u16string_view dir) {
    WideBuffer own;
    bool ok = ManifestPath(product, own) && ScanManifestFolder(product, own, dir);
    if (!ok && product.last_error.empty()) product.last_error = u"无法核验安装目录归属，请检查安装记录后重试。";
    return ok;
}
