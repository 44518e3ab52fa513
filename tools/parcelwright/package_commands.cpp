// "parcelwright inflate" and "parcelwright format": the decoder extraction
// uses (or, with --reference, the bit-at-a-time one) and the format detection
// on files.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "base/file_mapping.h"
#include "base/text.h"
#include "commands.h"
#include "package/inflate.h"
#include "package/inflate_fast.h"
#include "package/package_format.h"
#include "package/zip_source.h"

namespace {

const char kInflateUsage[] = "usage: parcelwright inflate IN OUT --size N [--reference]\n";

// One "--reference" may stand anywhere after the command except between
// "--size" and its number; what remains must be IN OUT --size N.
bool TakeReferenceOption(std::vector<std::string>& args, bool& reference) {
    auto at = std::find(args.begin(), args.end(), "--reference");
    reference = at != args.end();
    if (!reference) return true;
    if (std::find(at + 1, args.end(), "--reference") != args.end() || (at != args.begin() && at[-1] == "--size")) {
        return false;
    }
    args.erase(at);
    return true;
}

}  // namespace

int RunInflate(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    bool reference = false;
    if (!TakeReferenceOption(args, reference) || args.size() != 4 || args[2] != "--size" || args[3].empty() ||
        args[3].find_first_not_of("0123456789") != std::string::npos || args[3].size() > 10) {
        std::fputs(kInflateUsage, stderr);
        return kToolUsage;
    }
    unsigned long long size = std::stoull(args[3]);
    // Mapped whole, as "zip check" maps its package: no reads in steps and no
    // copy. An empty file gives a valid pointer to no bytes.
    FileMapping file;
    bool opened = size <= 0xFFFFFFFFull && file.Open(Utf8ToWide(args[0])) && file.size() <= 0xFFFFFFFFull;
    ZipSourceView view(MappedZipSource(file));
    const uint8_t* input = opened ? view.Cover(0, file.size()) : nullptr;
    if (!input) {
        std::fprintf(stderr, "parcelwright: cannot read %s or size too large\n", args[0].c_str());
        return kToolUsage;
    }
    std::unique_ptr<uint8_t[]> output(new (std::nothrow) uint8_t[size ? size : 1]);
    if (!output) {
        std::fprintf(stderr, "parcelwright: not enough memory for %llu bytes\n", size);
        return kToolFailed;
    }
    uint32_t produced = 0;
    auto* decode = reference ? InflateRaw : InflateFast;
    int result = decode(input, static_cast<uint32_t>(file.size()), output.get(), static_cast<uint32_t>(size), &produced);
    if (result != 0) produced = 0;
    std::FILE* out = std::fopen(args[1].c_str(), "wb");
    if (!out || std::fwrite(output.get(), 1, produced, out) != produced) {
        if (out) std::fclose(out);
        std::fprintf(stderr, "parcelwright: cannot write %s\n", args[1].c_str());
        return kToolUsage;
    }
    std::fclose(out);
    std::printf("result=%d produced=%u\n", result, produced);
    return result == 0 ? kToolOk : kToolFailed;
}

int RunFormat(const std::vector<std::string>& args) {
    std::string bytes;
    if (args.size() != 1 || !ReadFileBytes(args[0], bytes)) {
        std::fputs("usage: parcelwright format FILE\n", stderr);
        return kToolUsage;
    }
    if (bytes.size() > kFormatProbeSize) bytes.resize(kFormatProbeSize);
    PackageFormat format = ClassifyPackageBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    std::printf("%d %s\n", static_cast<int>(format), WideToUtf8(PackageFormatName(format)).c_str());
    return kToolOk;
}
