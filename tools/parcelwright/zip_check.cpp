// "parcelwright zip check": the installer's ZIP walk on a file, with names
// below C:\staging and non-UTF-8 names read as GBK (the ANSI code page of the
// program's users), printing each entry or the message the user would see.
#include <cstdio>
#include <string>

#include "base/file_mapping.h"
#include "base/text.h"
#include "commands.h"
#include "package/path_rules.h"
#include "package/zip_walk.h"

namespace {

const uint16_t kGbkTable[126 * 191] = {
#include "gbk_table.inc"
};

// Code page 936 as the system reads it: ASCII, 0x80 is the euro sign, lead
// byte plus trail byte from the table; anything undefined becomes "?".
WideBuffer DecodeGbk(const uint8_t* bytes, size_t size) {
    WideBuffer out;
    for (size_t i = 0; i < size; ++i) {
        uint8_t b = bytes[i];
        if (b < 0x80) {
            out.push_back(b);
        } else if (b == 0x80) {
            out.push_back(0x20AC);
        } else if (b == 0xFF || i + 1 >= size) {
            out.push_back(u'?');
        } else {
            uint8_t trail = bytes[i + 1];
            uint16_t value = (trail >= 0x40 && trail <= 0xFE) ? kGbkTable[(b - 0x81) * 191 + (trail - 0x40)] : 0;
            if (value) {
                out.push_back(value);
                ++i;
            } else {
                out.push_back(u'?');
            }
        }
    }
    return out;
}

bool DecodeName(const uint8_t* bytes, size_t size, bool utf8, WideBuffer& name) {
    name = utf8 ? Utf8ToWide(std::string(reinterpret_cast<const char*>(bytes), size)) : DecodeGbk(bytes, size);
    return !name.empty();
}

// The path text rules only: on a clean name the full path is the joined text.
bool Join(void*, std::u16string_view destination, std::u16string_view name, WideBuffer& target) {
    return JoinRelativeText(destination, name, target) && IsStrictlyUnder(destination, target);
}

bool NeverCancelled(void*) { return false; }

bool PrintDirectory(void*, const ZipEntry& entry) {
    std::printf("dir\t%s\n", WideToUtf8(entry.name).c_str());
    return true;
}

bool PrintFile(void*, const ZipEntry& entry, const uint8_t*, size_t) {
    std::printf("file\t%s\t%u\t%u\t%u\n", WideToUtf8(entry.name).c_str(), entry.method, entry.compressedSize,
                entry.uncompressedSize);
    return true;
}

}  // namespace

int RunZipCheck(const std::vector<std::string>& args) {
    // Mapped as the installer maps it, so a large package costs its largest
    // entry, not its whole size, in memory.
    FileMapping package;
    if (args.size() != 1 || !package.Open(Utf8ToWide(args[0]))) {
        std::fputs("usage: parcelwright zip check FILE\n", stderr);
        return kToolUsage;
    }
    WideBuffer message;
    ZipWalkCallbacks callbacks{DecodeName, Join, NeverCancelled, PrintDirectory, PrintFile, nullptr};
    // The installer reads at most 512 MiB; a larger file fails as it would there.
    bool ok = package.size() <= kZipMaxArchiveSize &&
              WalkZip(MappedZipSource(package), u"C:\\staging", callbacks, message);
    if (!ok && message.empty()) message = kZipTooLarge;
    std::printf("%s\n", ok ? "ok" : WideToUtf8(message).c_str());
    return ok ? kToolOk : kToolFailed;
}
