#include "catalog/sha256.h"

#include <atomic>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define TW_SHA256_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

constexpr uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                  0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

uint32_t LoadBigEndian(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

void CompressPlain(uint32_t state[8], const uint8_t* data, size_t blocks) {
    for (; blocks > 0; --blocks, data += 64) {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i) w[i] = LoadBigEndian(data + 4 * i);
        for (int i = 16; i < 64; ++i) {
            uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
            uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#if TW_SHA256_X86

// The state lives in two registers as the instructions want it: ABEF and CDGH.
// Each group of four rounds takes four message words; from the fifth group on
// they come from the earlier ones through SHA256MSG1/SHA256MSG2. The words
// may be kept on the stack, which Windows aligns to only 4 bytes in a 32-bit
// thread: the function aligns its own frame for the 16-byte loads and stores.
__attribute__((target("sha,sse4.1,ssse3"), force_align_arg_pointer)) void CompressInstructions(
    uint32_t state[8], const uint8_t* data, size_t blocks) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i dcba = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0])), 0xB1);  // CDAB
    __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4])), 0x1B);  // EFGH
    __m128i abef = _mm_alignr_epi8(dcba, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, dcba, 0xF0);
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abefBefore = abef, cdghBefore = cdgh;
        // words[k % 4] holds message words 4k to 4k + 3 while group k and the
        // next two need them.
        __m128i words[4];
        for (int k = 0; k < 4; ++k) {
            words[k] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * k)), byteSwap);
        }
        for (int group = 0; group < 16; ++group) {
            const __m128i current = words[group % 4];
            __m128i message =
                _mm_add_epi32(current, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRound[4 * group])));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, message);
            if (group >= 3 && group <= 14) {
                // The next group's words: their SHA256MSG1 part was made two
                // groups ago, the rest needs this group's and the last one's.
                __m128i& next = words[(group + 1) % 4];
                next = _mm_add_epi32(next, _mm_alignr_epi8(current, words[(group + 3) % 4], 4));
                next = _mm_sha256msg2_epu32(next, current);
            }
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(message, 0x0E));
            if (group >= 1 && group <= 12) {
                __m128i& last = words[(group + 3) % 4];
                last = _mm_sha256msg1_epu32(last, current);
            }
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(feba, dchg, 0xF0));  // DCBA
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(dchg, feba, 8));    // HGFE
}

bool ProcessorHasShaInstructions() {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
    if (!ssse3 || !sse41 || __get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(7, 0, a, b, c, d);
    return (b & (1u << 29)) != 0;
}

#endif  // TW_SHA256_X86

std::atomic<Sha256Path>& ChosenPath() {
    static std::atomic<Sha256Path> path{Sha256PathSupported(kSha256Instructions) ? kSha256Instructions
                                                                                  : kSha256Plain};
    return path;
}

void Compress(uint32_t state[8], const uint8_t* data, size_t blocks) {
#if TW_SHA256_X86
    if (ChosenPath().load(std::memory_order_relaxed) == kSha256Instructions) {
        CompressInstructions(state, data, blocks);
        return;
    }
#endif
    CompressPlain(state, data, blocks);
}

}  // namespace

Sha256::Sha256() { std::memcpy(state_, kInitial, sizeof(state_)); }

void Sha256::Add(const void* data, size_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    total_ += size;
    if (pendingSize_ > 0) {
        size_t take = size < 64 - pendingSize_ ? size : 64 - pendingSize_;
        std::memcpy(pending_ + pendingSize_, bytes, take);
        pendingSize_ += take;
        bytes += take;
        size -= take;
        if (pendingSize_ < 64) return;
        Compress(state_, pending_, 1);
        pendingSize_ = 0;
    }
    Compress(state_, bytes, size / 64);
    bytes += size / 64 * 64;
    size %= 64;
    std::memcpy(pending_, bytes, size);
    pendingSize_ = size;
}

void Sha256::Finish(uint8_t digest[32]) {
    const uint64_t bits = total_ * 8;
    uint8_t tail[72] = {0x80};
    // Pad to 56 bytes past a block boundary, then the length in bits.
    size_t padding = (pendingSize_ < 56 ? 56 : 120) - pendingSize_;
    for (int i = 0; i < 8; ++i) tail[padding + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    Add(tail, padding + 8);
    for (int i = 0; i < 8; ++i) {
        digest[4 * i] = static_cast<uint8_t>(state_[i] >> 24);
        digest[4 * i + 1] = static_cast<uint8_t>(state_[i] >> 16);
        digest[4 * i + 2] = static_cast<uint8_t>(state_[i] >> 8);
        digest[4 * i + 3] = static_cast<uint8_t>(state_[i]);
    }
    *this = Sha256();
}

bool Sha256PathSupported(Sha256Path path) {
    if (path == kSha256Plain) return true;
#if TW_SHA256_X86
    static const bool instructions = ProcessorHasShaInstructions();
    return path == kSha256Instructions && instructions;
#else
    return false;
#endif
}

Sha256Path Sha256ActivePath() { return ChosenPath().load(); }

bool Sha256UsePath(Sha256Path path) {
    if (!Sha256PathSupported(path)) return false;
    ChosenPath().store(path);
    return true;
}

const char* Sha256PathName(Sha256Path path) { return path == kSha256Instructions ? "instructions" : "plain"; }
