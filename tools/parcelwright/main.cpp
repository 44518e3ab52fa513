// parcelwright: runs the installer's own catalog rules, DEFLATE decoder and
// package checks on files, without the window, for catalog editors and tests.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>

#include "commands.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

const char kUsage[] =
    "usage: parcelwright catalog check FILE [--filter N] [--locked] [--preferred N] [--os CODE]\n"
    "                                  [--mode install|uninstall|update]\n"
    "       parcelwright inflate IN OUT --size N [--reference]\n"
    "       parcelwright format FILE\n"
    "       parcelwright zip check FILE\n";

}  // namespace

bool ReadFileBytes(const std::string& path, std::string& bytes) {
    // A folder opens as a stream on Linux and then reads as empty.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    // A file larger than memory allows is a read failure, not a crash.
    try {
        std::ostringstream content;
        content << in.rdbuf();
        if (in.bad()) return false;
        bytes = content.str();
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

int main(int argc, char** argv) {
#if defined(__GLIBC__)
    // Blocks of a megabyte or more straight from the system and back on free,
    // as the Windows heap does with large blocks. Left to itself glibc raises
    // this threshold after the first large free and keeps up to 32 MiB of
    // freed entry buffers, so "zip check" would use more memory than the
    // installer's walk.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "catalog" && args[1] == "check") {
        return RunCatalogCheck(std::vector<std::string>(args.begin() + 2, args.end()));
    }
    if (!args.empty() && args[0] == "inflate") return RunInflate(std::vector<std::string>(args.begin() + 1, args.end()));
    if (args.size() >= 2 && args[0] == "zip" && args[1] == "check") {
        return RunZipCheck(std::vector<std::string>(args.begin() + 2, args.end()));
    }
    if (!args.empty() && args[0] == "format") return RunFormat(std::vector<std::string>(args.begin() + 1, args.end()));
    std::fputs(kUsage, stderr);
    return kToolUsage;
}
