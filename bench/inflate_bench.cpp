// Decodes nine raw DEFLATE streams (text, programs and documents at levels 1, 6
// and 9) with InflateFast, zlib and libdeflate (when built with it) and prints
// median output throughput and the ratios, then InflateRaw against InflateFast
// per level, then CRC-32 in 64 KiB buffers against zlib's crc32.
// Every decoder's output is compared with the original once, outside the
// timing; rounds interleave the decoders so that a noisy neighbour on a shared
// machine slows all of them alike.
// Usage: inflate_bench CORPUS_DIR [ROUNDS]
#include <zlib.h>
#ifdef TW_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "package/crc32.h"
#include "package/inflate.h"
#include "package/inflate_fast.h"

namespace {

const char* const kKinds[] = {"text", "programs", "documents"};
const int kLevels[] = {1, 6, 9};

struct Stream {
    std::string name;  // kind-level
    int level = 0;
    const std::string* plain = nullptr;
    std::string packed;
};

// Decoders share one shape: decode the stream into out (exactly its plain
// size) and say whether it succeeded with exactly that many bytes.
enum Decoder { kOurs, kReference, kZlib, kLibdeflate, kDecoderCount };
const char* const kDecoderNames[] = {"InflateFast", "InflateRaw", "zlib", "libdeflate"};

struct Baselines {
    z_stream zlib = {};
#ifdef TW_HAVE_LIBDEFLATE
    libdeflate_decompressor* libdeflate = nullptr;
#endif
};

bool HaveDecoder(Decoder d) {
#ifdef TW_HAVE_LIBDEFLATE
    return true;
#else
    return d != kLibdeflate;
#endif
}

bool Decode(Decoder decoder, Baselines& b, const Stream& s, std::vector<uint8_t>& out) {
    const uint8_t* in = reinterpret_cast<const uint8_t*>(s.packed.data());
    uint32_t inSize = static_cast<uint32_t>(s.packed.size());
    uint32_t outSize = static_cast<uint32_t>(out.size());
    uint32_t produced = 0;
    switch (decoder) {
        case kOurs:
            return InflateFast(in, inSize, out.data(), outSize, &produced) == 0 && produced == outSize;
        case kReference:
            return InflateRaw(in, inSize, out.data(), outSize, &produced) == 0 && produced == outSize;
        case kZlib:
            // A reused stream, reset per decode: no allocation inside the timing.
            inflateReset(&b.zlib);
            b.zlib.next_in = const_cast<uint8_t*>(in);
            b.zlib.avail_in = inSize;
            b.zlib.next_out = out.data();
            b.zlib.avail_out = outSize;
            return inflate(&b.zlib, Z_FINISH) == Z_STREAM_END && b.zlib.total_out == outSize;
        case kLibdeflate:
#ifdef TW_HAVE_LIBDEFLATE
            // No "actual size" pointer: the output must fill the buffer exactly.
            return libdeflate_deflate_decompress(b.libdeflate, in, inSize, out.data(), outSize, nullptr) ==
                   LIBDEFLATE_SUCCESS;
#endif
        default:
            return false;
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// This thread's CPU time: on a shared machine other programs stretch the wall
// clock, not this.
double CpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double MegabytesPerSecond(size_t bytes, double seconds) { return bytes / 1e6 / seconds; }

// Median seconds per decoder for one stream, after one checked decode each.
bool TimeStream(const Stream& s, int rounds, Baselines& b, double (&median)[kDecoderCount]) {
    std::vector<uint8_t> out(s.plain->size());
    for (int d = 0; d < kDecoderCount; ++d) {
        if (!HaveDecoder(Decoder(d))) continue;
        // Cleared first so that the previous decoder's output cannot pass for this one's.
        std::fill(out.begin(), out.end(), 0);
        if (!Decode(Decoder(d), b, s, out) || std::memcmp(out.data(), s.plain->data(), out.size()) != 0) {
            std::fprintf(stderr, "%s: %s decoded it wrongly\n", s.name.c_str(), kDecoderNames[d]);
            return false;
        }
    }
    std::vector<double> times[kDecoderCount];
    for (int r = 0; r < rounds; ++r) {
        for (int d = 0; d < kDecoderCount; ++d) {
            if (!HaveDecoder(Decoder(d))) continue;
            double start = CpuSeconds();
            if (!Decode(Decoder(d), b, s, out)) return false;
            times[d].push_back(CpuSeconds() - start);
        }
    }
    for (int d = 0; d < kDecoderCount; ++d) median[d] = HaveDecoder(Decoder(d)) ? Median(times[d]) : 0;
    return true;
}

bool BenchInflate(const std::vector<Stream>& streams, int rounds) {
    Baselines b;
    if (inflateInit2(&b.zlib, -15) != Z_OK) return false;
#ifdef TW_HAVE_LIBDEFLATE
    b.libdeflate = libdeflate_alloc_decompressor();
    if (!b.libdeflate) return false;
#endif
    bool libdeflate = HaveDecoder(kLibdeflate);
    std::printf("inflate: median MB/s of output (thread CPU time) over %d rounds; ours = InflateFast\n", rounds);
    std::printf("stream           MB      ours      zlib%s  ours/zlib%s\n", libdeflate ? "  libdeflate" : "",
                libdeflate ? "  ours/libdeflate" : "");
    double logZlib = 0, logLibdeflate = 0;
    struct LevelTotal { size_t bytes = 0; double ours = 0, reference = 0; };
    LevelTotal levels[3];
    bool ok = true;
    for (const Stream& s : streams) {
        double m[kDecoderCount];
        if (!TimeStream(s, rounds, b, m)) {
            ok = false;
            break;
        }
        size_t bytes = s.plain->size();
        double ours = MegabytesPerSecond(bytes, m[kOurs]), zlib = MegabytesPerSecond(bytes, m[kZlib]);
        std::printf("%-12s %6.1f  %8.1f  %8.1f", s.name.c_str(), bytes / 1e6, ours, zlib);
        if (libdeflate) std::printf("  %10.1f", MegabytesPerSecond(bytes, m[kLibdeflate]));
        std::printf("  %9.3f", ours / zlib);
        if (libdeflate) std::printf("  %15.3f", m[kLibdeflate] / m[kOurs]);
        std::printf("\n");
        logZlib += std::log(m[kZlib] / m[kOurs]);
        if (libdeflate) logLibdeflate += std::log(m[kLibdeflate] / m[kOurs]);
        LevelTotal& level = levels[std::find(std::begin(kLevels), std::end(kLevels), s.level) - std::begin(kLevels)];
        level.bytes += bytes;
        level.ours += m[kOurs];
        level.reference += m[kReference];
    }
    inflateEnd(&b.zlib);
#ifdef TW_HAVE_LIBDEFLATE
    libdeflate_free_decompressor(b.libdeflate);
#endif
    if (!ok) return false;
    // The label spans the columns before the ratios.
    std::string label = "geometric mean over " + std::to_string(streams.size()) + " streams";
    std::printf("%-*s  %9.3f", libdeflate ? 51 : 39, label.c_str(), std::exp(logZlib / streams.size()));
    if (libdeflate) std::printf("  %15.3f", std::exp(logLibdeflate / streams.size()));
    std::printf("\n\nreference decoder, the three kinds together per level\n");
    std::printf("level  InflateRaw  InflateFast  speed-up\n");
    for (int i = 0; i < 3; ++i) {
        double reference = MegabytesPerSecond(levels[i].bytes, levels[i].reference);
        double ours = MegabytesPerSecond(levels[i].bytes, levels[i].ours);
        std::printf("%5d  %10.1f  %11.1f  %8.2f\n", kLevels[i], reference, ours, ours / reference);
    }
    return true;
}

// CRC-32: a block of its own so that further paths can add their lines here.
bool BenchCrc32(const std::vector<const std::string*>& buffers, int rounds) {
    const size_t kBuffer = 64 * 1024;
    size_t total = 0;
    for (const std::string* data : buffers) total += data->size();
    auto each_buffer = [&](auto crc) {
        uint32_t sink = 0;
        for (const std::string* data : buffers) {
            const uint8_t* bytes = reinterpret_cast<const uint8_t*>(data->data());
            for (size_t at = 0; at < data->size(); at += kBuffer) {
                sink ^= crc(bytes + at, std::min(kBuffer, data->size() - at));
            }
        }
        return sink;
    };
    auto ours = [](const uint8_t* p, size_t n) { return Crc32(p, n); };
    auto theirs = [](const uint8_t* p, size_t n) { return static_cast<uint32_t>(crc32(0, p, static_cast<uInt>(n))); };
    uint32_t check = each_buffer(ours);
    if (check != each_buffer(theirs)) {
        std::fputs("crc32: ours and zlib's disagree\n", stderr);
        return false;
    }
    std::vector<double> oursTimes, theirTimes;
    for (int r = 0; r < rounds; ++r) {
        double start = CpuSeconds();
        check ^= each_buffer(ours);
        oursTimes.push_back(CpuSeconds() - start);
        start = CpuSeconds();
        check ^= each_buffer(theirs);
        theirTimes.push_back(CpuSeconds() - start);
    }
    double oursRate = MegabytesPerSecond(total, Median(oursTimes));
    double theirRate = MegabytesPerSecond(total, Median(theirTimes));
    std::printf("\ncrc32 over %.1f MB in 64 KiB buffers, median MB/s\n", total / 1e6);
    std::printf("           ours      zlib  ours/zlib\n");
    std::printf("Crc32  %8.1f  %8.1f  %9.3f   (%08x; path %s)\n", oursRate, theirRate, oursRate / theirRate, check,
                Crc32PathName(Crc32ActivePath()));
    // Each path this processor has, forced in turn; the default comes back last.
    const Crc32Path chosen = Crc32ActivePath();
    for (Crc32Path path : {kCrc32Table, kCrc32Clmul128, kCrc32Clmul256, kCrc32Clmul512}) {
        if (!Crc32UsePath(path)) continue;
        if (each_buffer(ours) != each_buffer(theirs)) {
            std::fprintf(stderr, "crc32: path %s disagrees with zlib\n", Crc32PathName(path));
            return false;
        }
        std::vector<double> times;
        for (int r = 0; r < rounds; ++r) {
            double start = CpuSeconds();
            check ^= each_buffer(ours);
            times.push_back(CpuSeconds() - start);
        }
        double rate = MegabytesPerSecond(total, Median(times));
        std::printf("  %-8s %8.1f  %8.1f  %9.3f\n", Crc32PathName(path), rate, theirRate, rate / theirRate);
    }
    Crc32UsePath(chosen);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: inflate_bench CORPUS_DIR [ROUNDS]\n", stderr);
        return 2;
    }
    std::string dir = argv[1];
    int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    std::vector<std::string> plains;
    for (const char* kind : kKinds) plains.push_back(ReadFile(dir + "/" + kind + ".tar"));
    std::vector<Stream> streams;
    for (int level : kLevels) {
        for (size_t k = 0; k < plains.size(); ++k) {
            Stream s;
            s.name = std::string(kKinds[k]) + "-" + std::to_string(level);
            s.level = level;
            s.plain = &plains[k];
            s.packed = ReadFile(dir + "/" + s.name + ".raw");
            if (s.plain->empty() || s.packed.empty()) {
                std::fprintf(stderr, "%s: corpus missing in %s\n", s.name.c_str(), dir.c_str());
                return 1;
            }
            streams.push_back(std::move(s));
        }
    }
    if (!BenchInflate(streams, rounds)) return 1;
    // CRC-32 over the text corpus only: 3.6 MB stay in the cache, so the
    // figure is the code's speed, not the memory's.
    std::vector<const std::string*> buffers{&plains[0]};
    return BenchCrc32(buffers, rounds) ? 0 : 1;
}
