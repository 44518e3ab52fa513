#include "package/zip_extract_win.h"

#include <vector>

#include "base/file_mapping.h"
#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/memory.h"
#include "base/system_win.h"
#include "base/wide_win.h"
#include "catalog/sha256_win.h"
#include "package/held_path_win.h"
#include "package/path_rules.h"
#include "package/path_safety_win.h"
#include "package/transaction_win.h"
#include "package/zip_walk.h"

namespace {

struct ExtractContext {
    InstallTransaction* transaction;
    HANDLE cancelEvent;
    WideBuffer destination;
    // The folders written into, held from the destination down while the
    // package is extracted: each is checked for links once, and none can be
    // swapped for a link while later entries are written into it.
    HeldFolderCache folders;
};

// The entry's folders exist and are held, none of them a link.
bool EnsureHeldParent(ExtractContext& c, const WideBuffer& target) {
    if (!IsStrictlyUnder(c.destination, target)) return EnsureParentDirectory(target);
    HeldFolders held;
    return HoldFolders(c.destination, target, held, true, &c.folders);
}

bool DecodeName(const uint8_t* bytes, size_t size, bool utf8, WideBuffer& name) {
    UINT codePage = utf8 ? CP_UTF8 : CP_ACP;
    const char* text = reinterpret_cast<const char*>(bytes);
    int n = MultiByteToWideChar(codePage, 0, text, static_cast<int>(size), nullptr, 0);
    if (n <= 0) return false;
    std::vector<wchar_t> buffer(n);
    if (MultiByteToWideChar(codePage, 0, text, static_cast<int>(size), buffer.data(), n) != n) return false;
    name.assign(U(buffer.data()), n);
    return true;
}

// Below a folder already held (checked for links when first held, and not
// replaceable since), only the text needs checking: the folders below it are
// checked as they are held, and the rest of the path is not looked up again
// for every entry.
bool Join(void* context, std::u16string_view destination, std::u16string_view name, WideBuffer& target) {
    auto* c = static_cast<ExtractContext*>(context);
    if (JoinRelativeBelow(destination, name, target) && c->folders.HoldsFolderAbove(c->destination, target)) return true;
    return SafeJoinRelative(destination, name, target);
}

bool Cancelled(void* context) { return IsCancelled(static_cast<ExtractContext*>(context)->cancelEvent); }

bool MakeDirectory(void*, const ZipEntry& entry) {
    return CreateDirectoryTree(entry.target) && HasNoReparsePoint(entry.target);
}

bool WriteEntry(void* context, const ZipEntry& entry, const uint8_t* data, size_t size) {
    auto* c = static_cast<ExtractContext*>(context);
    if (!EnsureHeldParent(*c, entry.target)) return false;
    bool written = false;
    {
        // CREATE_NEW: a second entry with the same name fails instead of
        // silently replacing the first.
        UniqueHandle file(CreateFileW(W(entry.target), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
        DWORD wrote = 0;
        written = file && WriteFile(file.get(), data, static_cast<DWORD>(size), &wrote, nullptr) && wrote == size;
    }
    // Hashed as it is written; a file written in part is read to hash it.
    WideBuffer hash;
    if (written && HashBytesSha256(data, size, hash)) {
        RegisterTempFile(*c->transaction, entry.target, &hash, size);
    } else if (FileExists(entry.target)) {
        RegisterTempFile(*c->transaction, entry.target);
    }
    return written;
}

}  // namespace

PackageFormat DetectPackageFormat(std::u16string_view packagePath) {
    UniqueHandle file(CreateFileW(W(WideBuffer(packagePath)), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return kFormatUnknown;
    std::vector<uint8_t> buffer;
    if (!TryResize(buffer, kFormatProbeSize)) return kFormatUnknown;
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer.data(), kFormatProbeSize, &got, nullptr)) return kFormatUnknown;
    return ClassifyPackageBytes(buffer.data(), got);
}

bool ExtractZipPackage(ProductEntry& product, InstallTransaction& transaction, std::u16string_view destination,
                       HANDLE cancelEvent) {
    // Mapped, not read: a 512 MiB package never needs 512 MiB of this 32-bit
    // process's address space, and nobody can write it while it is walked.
    FileMapping package;
    if (!package.Open(product.package_path)) {
        product.last_error = kZipTooLarge;
        return false;
    }
    ExtractContext context{&transaction, cancelEvent, WideBuffer(destination), {}};
    ZipWalkCallbacks callbacks{DecodeName, Join, Cancelled, MakeDirectory, WriteEntry, &context};
    return WalkZip(MappedZipSource(package), destination, callbacks, product.last_error);
}
