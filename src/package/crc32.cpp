// CRC-32 by eight-byte tables on any processor, and by carry-less multiplication
// (PCLMULQDQ, VPCLMULQDQ) where CPUID and the operating system allow it. Only the
// functions marked with a target attribute use those instructions, so the program
// as a whole still runs on a processor without them.
#include "package/crc32.h"

#include <atomic>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define TW_CRC32_X86 1
#include <cpuid.h>
// GCC 12's AVX-512 headers seed "undefined" vectors from themselves, which its
// own uninitialized-use warnings then report wherever they are inlined.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

namespace {

// The polynomial bit-reflected, as every register below holds it: bit 31 - k is
// the coefficient of x^k, and x^32 is implied.
constexpr uint32_t kPolynomial = 0xEDB88320u;

// table[0] is the classic byte table; table[k][n] is the CRC of byte n followed
// by k zero bytes, so eight bytes can be folded in with eight lookups.
struct Crc32Tables {
    uint32_t table[8][256];
    Crc32Tables() {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? kPolynomial ^ (c >> 1) : c >> 1;
            table[0][n] = c;
        }
        for (uint32_t n = 0; n < 256; ++n) {
            for (int k = 1; k < 8; ++k) table[k][n] = table[0][table[k - 1][n] & 0xFF] ^ (table[k - 1][n] >> 8);
        }
    }
};

const Crc32Tables& Tables() {
    static const Crc32Tables tables;
    return tables;
}

// Little-endian whatever the host: the compiler turns this into one load.
uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// Continues a CRC register (not complemented) over the bytes, eight at a time.
uint32_t UpdateByTable(uint32_t c, const uint8_t* data, size_t size) {
    const auto& t = Tables().table;
    for (; size >= 8; data += 8, size -= 8) {
        const uint32_t low = c ^ Load32(data), high = Load32(data + 4);
        c = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
            t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    }
    for (; size > 0; ++data, --size) c = t[0][(c ^ *data) & 0xFF] ^ (c >> 8);
    return c;
}

#if TW_CRC32_X86

// ---- Constants, all derived here from kPolynomial ----
//
// A 16-byte block loaded little-endian holds a polynomial of degree < 128 with
// bit k the coefficient of x^(127-k): the first message bit is the highest
// power, as in the reflected register. PCLMULQDQ of two such reflected 64-bit
// halves gives the product shifted by one place, and a 32-bit reflected constant
// C in the low half of a lane counts as C * x^32; so multiplying a half H by C
// yields H * C * x^33 in block order. Each constant below is x^n mod P with n
// chosen to cancel that x^33.

// x^n mod P, reflected: start from x^0 and multiply by x n times (a right shift,
// reducing by P when x^31 overflows into x^32).
constexpr uint32_t XPowerModP(unsigned n) {
    uint32_t r = 0x80000000u;
    for (; n > 0; --n) r = (r & 1) ? (r >> 1) ^ kPolynomial : r >> 1;
    return r;
}

constexpr uint64_t Reverse(uint64_t v, int bits) {
    uint64_t r = 0;
    for (int i = 0; i < bits; ++i) r |= ((v >> i) & 1) << (bits - 1 - i);
    return r;
}

// P with its x^32 term, not reflected: bit k is the coefficient of x^k.
constexpr uint64_t kPolynomialFull = (uint64_t{1} << 32) | Reverse(kPolynomial, 32);

// floor(x^64 / P) by long division, not reflected (degree 32).
constexpr uint64_t BarrettQuotient() {
    uint64_t remainder = 0, quotient = 0;
    for (int bit = 64; bit >= 0; --bit) {
        remainder = (remainder << 1) | (bit == 64 ? 1 : 0);
        if (remainder >> 32) {
            remainder ^= kPolynomialFull;
            quotient |= uint64_t{1} << bit;
        }
    }
    return quotient;
}

// The 33-bit Barrett operands are reflected over 33 bits (x^32 in bit 0), so in
// a lane they count as value * x^31; see ReduceBlock.
constexpr uint64_t kBarrettMu = Reverse(BarrettQuotient(), 33);
constexpr uint64_t kBarrettP = Reverse(kPolynomialFull, 33);

// Folding a block forward over D = 8 * bytes bits of message onto the block that
// starts there: its first eight bytes H (the higher powers) must become
// H * x^(D+64) and its last eight L must become L * x^D, both mod P. With the
// x^33 above that is H * (x^(D+31) mod P) and L * (x^(D-33) mod P).
struct FoldConstants {
    uint32_t firstHalf, secondHalf;  // for the block's first and last eight bytes
};
constexpr FoldConstants FoldOver(unsigned bytes) { return {XPowerModP(8 * bytes + 31), XPowerModP(8 * bytes - 33)}; }

// Named so that they are worked out by the compiler even in unoptimised builds.
constexpr FoldConstants kFoldBy16 = FoldOver(16), kFoldBy32 = FoldOver(32), kFoldBy64 = FoldOver(64),
                        kFoldBy128 = FoldOver(128), kFoldBy256 = FoldOver(256);

// The last block X becomes the register X * x^32 mod P in three steps:
// 1. H * x^128 == H * (x^95 mod P) * x^33; adding L moved up 64 bits leaves
//    W * x^32, W == X * x^32 of degree < 96.
// 2. W's top 32 bits moved into the high half of a lane, times x^63 mod P, the
//    same way: Y * x^32, Y == W of degree < 64.
// 3. Barrett: q = floor(floor(Y / x^32) * mu / x^32) is floor(Y / P), so the low
//    32 bits of Y + q * P are Y mod P. With the operands as above, q lands in
//    the high half of the first product's low lane and the remainder in dword 2.
constexpr uint32_t kReduce96 = XPowerModP(95), kReduce64 = XPowerModP(63);

#define TW_TARGET_CLMUL128 __attribute__((target("sse4.1,pclmul")))
#define TW_TARGET_CLMUL256 __attribute__((target("avx2,vpclmulqdq,sse4.1,pclmul")))
#define TW_TARGET_CLMUL512 __attribute__((target("avx512f,avx512vl,avx512bw,avx2,vpclmulqdq,sse4.1,pclmul")))
#define TW_INLINE inline __attribute__((always_inline))

// Two 64-bit lanes from halves of 32 bits: no 64-bit moves, so 32-bit builds work.
TW_TARGET_CLMUL128 TW_INLINE __m128i Lanes(uint64_t low, uint64_t high) {
    return _mm_set_epi32(static_cast<int>(high >> 32), static_cast<int>(high), static_cast<int>(low >> 32),
                         static_cast<int>(low));
}

TW_TARGET_CLMUL128 TW_INLINE __m128i Lanes(FoldConstants k) { return Lanes(k.firstHalf, k.secondHalf); }

TW_TARGET_CLMUL128 TW_INLINE __m128i Load128(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

TW_TARGET_CLMUL128 TW_INLINE __m128i Fold128(__m128i block, __m128i next, __m128i k) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(block, k, 0x00), _mm_clmulepi64_si128(block, k, 0x11)),
                         next);
}

TW_TARGET_CLMUL128 TW_INLINE uint32_t ReduceBlock(__m128i x) {
    const __m128i k = Lanes(kReduce96, kReduce64), barrett = Lanes(kBarrettMu, kBarrettP);
    __m128i v = _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_srli_si128(x, 8));
    v = _mm_xor_si128(_mm_clmulepi64_si128(_mm_slli_epi64(v, 32), k, 0x10), _mm_blend_epi16(v, _mm_setzero_si128(), 0x03));
    const __m128i quotient = _mm_clmulepi64_si128(v, barrett, 0x00);
    v = _mm_xor_si128(v, _mm_clmulepi64_si128(quotient, barrett, 0x10));
    return static_cast<uint32_t>(_mm_extract_epi32(v, 2));
}

// Every path ends here: 16-byte blocks, the reduction, then the last bytes by table.
TW_TARGET_CLMUL128 TW_INLINE uint32_t FinishFrom128(__m128i x, const uint8_t* p, size_t n) {
    const __m128i k = Lanes(kFoldBy16);
    for (; n >= 16; p += 16, n -= 16) x = Fold128(x, Load128(p), k);
    return UpdateByTable(ReduceBlock(x), p, n);
}

// Each UpdateByClmul wants at least one vector of bytes. The CRC register goes
// into the first four message bytes: the same as starting from it.
TW_TARGET_CLMUL128 uint32_t UpdateByClmul128(uint32_t c, const uint8_t* p, size_t n) {
    __m128i x = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(c)));
    p += 16, n -= 16;
    if (n >= 48) {
        // Four blocks in flight hide the multiplier's latency.
        const __m128i k4 = Lanes(kFoldBy64), k1 = Lanes(kFoldBy16);
        __m128i x1 = Load128(p), x2 = Load128(p + 16), x3 = Load128(p + 32);
        p += 48, n -= 48;
        for (; n >= 64; p += 64, n -= 64) {
            x = Fold128(x, Load128(p), k4);
            x1 = Fold128(x1, Load128(p + 16), k4);
            x2 = Fold128(x2, Load128(p + 32), k4);
            x3 = Fold128(x3, Load128(p + 48), k4);
        }
        x = Fold128(Fold128(Fold128(x, x1, k1), x2, k1), x3, k1);
    }
    return FinishFrom128(x, p, n);
}

TW_TARGET_CLMUL256 TW_INLINE __m256i Load256(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

TW_TARGET_CLMUL256 TW_INLINE __m256i Fold256(__m256i block, __m256i next, __m256i k) {
    return _mm256_xor_si256(
        _mm256_xor_si256(_mm256_clmulepi64_epi128(block, k, 0x00), _mm256_clmulepi64_epi128(block, k, 0x11)), next);
}

TW_TARGET_CLMUL256 TW_INLINE __m256i Lanes256(FoldConstants k) { return _mm256_broadcastsi128_si256(Lanes(k)); }

// Two 16-byte halves folded into one block.
TW_TARGET_CLMUL256 TW_INLINE __m128i Narrow256(__m256i x) {
    return Fold128(_mm256_castsi256_si128(x), _mm256_extracti128_si256(x, 1), Lanes(kFoldBy16));
}

TW_TARGET_CLMUL256 uint32_t UpdateByClmul256(uint32_t c, const uint8_t* p, size_t n) {
    __m256i x = _mm256_xor_si256(Load256(p), _mm256_setr_epi32(static_cast<int>(c), 0, 0, 0, 0, 0, 0, 0));
    p += 32, n -= 32;
    const __m256i k1 = Lanes256(kFoldBy32);
    if (n >= 96) {
        const __m256i k4 = Lanes256(kFoldBy128);
        __m256i x1 = Load256(p), x2 = Load256(p + 32), x3 = Load256(p + 64);
        p += 96, n -= 96;
        for (; n >= 128; p += 128, n -= 128) {
            x = Fold256(x, Load256(p), k4);
            x1 = Fold256(x1, Load256(p + 32), k4);
            x2 = Fold256(x2, Load256(p + 64), k4);
            x3 = Fold256(x3, Load256(p + 96), k4);
        }
        x = Fold256(Fold256(Fold256(x, x1, k1), x2, k1), x3, k1);
    }
    for (; n >= 32; p += 32, n -= 32) x = Fold256(x, Load256(p), k1);
    return FinishFrom128(Narrow256(x), p, n);
}

TW_TARGET_CLMUL512 TW_INLINE __m512i Load512(const uint8_t* p) { return _mm512_loadu_si512(p); }

TW_TARGET_CLMUL512 TW_INLINE __m512i Fold512(__m512i block, __m512i next, __m512i k) {
    // 0x96: the exclusive or of all three operands.
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(block, k, 0x00), _mm512_clmulepi64_epi128(block, k, 0x11),
                                     next, 0x96);
}

TW_TARGET_CLMUL512 TW_INLINE __m512i Lanes512(FoldConstants k) {
    return _mm512_set4_epi32(0, static_cast<int>(k.secondHalf), 0, static_cast<int>(k.firstHalf));
}

TW_TARGET_CLMUL512 uint32_t UpdateByClmul512(uint32_t c, const uint8_t* p, size_t n) {
    __m512i x = _mm512_xor_si512(Load512(p), _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(c))));
    p += 64, n -= 64;
    const __m512i k1 = Lanes512(kFoldBy64);
    if (n >= 192) {
        const __m512i k4 = Lanes512(kFoldBy256);
        __m512i x1 = Load512(p), x2 = Load512(p + 64), x3 = Load512(p + 128);
        p += 192, n -= 192;
        for (; n >= 256; p += 256, n -= 256) {
            x = Fold512(x, Load512(p), k4);
            x1 = Fold512(x1, Load512(p + 64), k4);
            x2 = Fold512(x2, Load512(p + 128), k4);
            x3 = Fold512(x3, Load512(p + 192), k4);
        }
        x = Fold512(Fold512(Fold512(x, x1, k1), x2, k1), x3, k1);
    }
    for (; n >= 64; p += 64, n -= 64) x = Fold512(x, Load512(p), k1);
    const __m256i halves = Fold256(_mm512_castsi512_si256(x), _mm512_extracti64x4_epi64(x, 1), Lanes256(kFoldBy32));
    return FinishFrom128(Narrow256(halves), p, n);
}

uint64_t ReadXcr0() {
    uint32_t low, high;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return static_cast<uint64_t>(high) << 32 | low;
}

struct CpuPaths {
    bool clmul128 = false, clmul256 = false, clmul512 = false;
};

// CPUID says what the processor has; XCR0 whether the system saves the wide
// registers on a thread switch (Windows 7 before SP1 keeps no YMM state). Each path
// needs every extension its target attribute names, since the compiler may use
// any of them there.
CpuPaths DetectCpuPaths() {
    CpuPaths paths;
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return paths;
    const bool pclmul = c & (1u << 1), sse41 = c & (1u << 19), osxsave = c & (1u << 27), avx = c & (1u << 28);
    paths.clmul128 = pclmul && sse41;
    if (!paths.clmul128 || !osxsave || !avx || __get_cpuid_max(0, nullptr) < 7) return paths;
    const uint64_t xcr0 = ReadXcr0();
    const bool ymmState = (xcr0 & 0x06) == 0x06, zmmState = (xcr0 & 0xE6) == 0xE6;
    __cpuid_count(7, 0, a, b, c, d);
    const bool avx2 = b & (1u << 5), avx512f = b & (1u << 16), avx512bw = b & (1u << 30), avx512vl = b & (1u << 31);
    const bool vpclmul = c & (1u << 10);
    paths.clmul256 = ymmState && avx2 && vpclmul;
    paths.clmul512 = paths.clmul256 && zmmState && avx512f && avx512bw && avx512vl;
    return paths;
}

const CpuPaths& Cpu() {
    static const CpuPaths paths = DetectCpuPaths();
    return paths;
}

#endif  // TW_CRC32_X86

std::atomic<Crc32Path>& ChosenPath() {
    static std::atomic<Crc32Path> path{Crc32PathSupported(kCrc32Clmul512)   ? kCrc32Clmul512
                                       : Crc32PathSupported(kCrc32Clmul256) ? kCrc32Clmul256
                                       : Crc32PathSupported(kCrc32Clmul128) ? kCrc32Clmul128
                                                                            : kCrc32Table};
    return path;
}

uint32_t Update(Crc32Path path, uint32_t c, const uint8_t* data, size_t size) {
#if TW_CRC32_X86
    // Below this the table is as quick as setting up the multiplier and reducing.
    constexpr size_t kFoldMinimum = 64;
    if (size >= kFoldMinimum) {
        switch (path) {
            case kCrc32Clmul512: return UpdateByClmul512(c, data, size);
            case kCrc32Clmul256: return UpdateByClmul256(c, data, size);
            case kCrc32Clmul128: return UpdateByClmul128(c, data, size);
            case kCrc32Table: break;
        }
    }
#else
    static_cast<void>(path);
#endif
    return UpdateByTable(c, data, size);
}

}  // namespace

uint32_t Crc32Bytewise(const uint8_t* data, size_t size) {
    const auto& t = Tables().table[0];
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) c = t[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

uint32_t Crc32(const uint8_t* data, size_t size) {
    return Update(ChosenPath().load(std::memory_order_relaxed), 0xFFFFFFFFu, data, size) ^ 0xFFFFFFFFu;
}

bool Crc32PathSupported(Crc32Path path) {
    switch (path) {
        case kCrc32Table: return true;
#if TW_CRC32_X86
        case kCrc32Clmul128: return Cpu().clmul128;
        case kCrc32Clmul256: return Cpu().clmul256;
        case kCrc32Clmul512: return Cpu().clmul512;
#else
        default: return false;
#endif
    }
    return false;
}

Crc32Path Crc32ActivePath() { return ChosenPath().load(std::memory_order_relaxed); }

bool Crc32UsePath(Crc32Path path) {
    if (!Crc32PathSupported(path)) return false;
    ChosenPath().store(path, std::memory_order_relaxed);
    return true;
}

const char* Crc32PathName(Crc32Path path) {
    switch (path) {
        case kCrc32Table: return "table";
        case kCrc32Clmul128: return "clmul128";
        case kCrc32Clmul256: return "clmul256";
        case kCrc32Clmul512: return "clmul512";
    }
    return "unknown";
}
