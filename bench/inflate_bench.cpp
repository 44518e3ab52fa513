// Decodes the same corpus at levels 1, 6 and 9 with InflateRaw and with zlib's
// raw inflate, and prints the median output throughput of each and their ratio;
// then CRC-32 over the corpus in 64 KiB buffers, ours against zlib's crc32.
// Usage: inflate_bench CORPUS_DIR [ROUNDS]
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "package/crc32.h"
#include "package/inflate.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

template <typename Decode>
double MedianMegabytesPerSecond(int rounds, size_t outputSize, Decode decode) {
    std::vector<double> rates;
    for (int i = 0; i < rounds; ++i) {
        auto start = std::chrono::steady_clock::now();
        if (!decode()) return -1;
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rates.push_back(outputSize / 1e6 / seconds);
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: inflate_bench CORPUS_DIR [ROUNDS]\n", stderr);
        return 2;
    }
    std::string dir = argv[1];
    int rounds = argc > 2 ? std::atoi(argv[2]) : 9;
    std::string plain = ReadFile(dir + "/corpus.tar");
    std::vector<uint8_t> out(plain.size());
    std::printf("corpus: %zu bytes, %d rounds, median MB/s of output\n", plain.size(), rounds);
    std::printf("level  InflateRaw      zlib   ratio\n");
    for (int level : {1, 6, 9}) {
        std::string packed = ReadFile(dir + "/corpus-" + std::to_string(level) + ".raw");
        const uint8_t* in = reinterpret_cast<const uint8_t*>(packed.data());
        double ours = MedianMegabytesPerSecond(rounds, plain.size(), [&] {
            uint32_t produced = 0;
            return InflateRaw(in, static_cast<uint32_t>(packed.size()), out.data(), static_cast<uint32_t>(out.size()),
                              &produced) == 0 &&
                   produced == plain.size();
        });
        double theirs = MedianMegabytesPerSecond(rounds, plain.size(), [&] {
            z_stream z = {};
            inflateInit2(&z, -15);
            z.next_in = const_cast<uint8_t*>(in);
            z.avail_in = static_cast<uInt>(packed.size());
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            int r = inflate(&z, Z_FINISH);
            inflateEnd(&z);
            return r == Z_STREAM_END;
        });
        if (ours < 0 || theirs < 0) {
            std::fprintf(stderr, "level %d: decoding failed\n", level);
            return 1;
        }
        std::printf("%5d  %10.1f  %8.1f  %6.3f\n", level, ours, theirs, ours / theirs);
    }

    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(plain.data());
    const size_t kBuffer = 64 * 1024;
    uint32_t sink = 0;
    auto each_buffer = [&](auto crc) {
        for (size_t at = 0; at < plain.size(); at += kBuffer) sink ^= crc(bytes + at, std::min(kBuffer, plain.size() - at));
        return true;
    };
    double ours = MedianMegabytesPerSecond(rounds, plain.size(), [&] {
        return each_buffer([](const uint8_t* p, size_t n) { return Crc32(p, n); });
    });
    double theirs = MedianMegabytesPerSecond(rounds, plain.size(), [&] {
        return each_buffer([](const uint8_t* p, size_t n) { return static_cast<uint32_t>(crc32(0, p, static_cast<uInt>(n))); });
    });
    std::printf("crc32  %10.1f  %8.1f  %6.3f   (64 KiB buffers; %08x)\n", ours, theirs, ours / theirs, sink);
    for (Crc32Path path : {kCrc32Table, kCrc32Clmul128, kCrc32Clmul256, kCrc32Clmul512}) {
        if (!Crc32UsePath(path)) continue;
        double rate = MedianMegabytesPerSecond(rounds, plain.size(), [&] {
            return each_buffer([](const uint8_t* p, size_t n) { return Crc32(p, n); });
        });
        std::printf("  %-8s %10.1f  %8.1f  %6.3f\n", Crc32PathName(path), rate, theirs, rate / theirs);
    }
    return 0;
}
