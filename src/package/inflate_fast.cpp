// Table-driven DEFLATE decoding whose every result matches InflateRaw's.
//
// What makes the results match:
// - Input past the end reads as zero bits, counted; whenever a decision rests
//   on bits past the end, the answer is kInflateInputEnded, because the
//   reference would have asked for one of those bits first.
// - The reference decodes an unused code a bit at a time up to 15 bits before
//   giving up, so an unused code is kInflateBadCode only when 15 bits are left
//   from where it starts, else kInflateInputEnded.
// - Checks run in the reference's order: a length/distance pair is read in
//   full before the distance and the room for the copy are checked.
// The fast loop runs only where no check can fail for lack of input or room;
// everywhere else one symbol at a time goes through the careful path.
#include "package/inflate_fast.h"

#include <atomic>
#include <cstddef>
#include <cstring>

#include "package/deflate_tables.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <cpuid.h>
#define TW_X86 1
#else
#define TW_X86 0
#endif

#if defined(__GNUC__)
#define TW_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define TW_ALWAYS_INLINE inline
#endif

namespace {

constexpr int kMaxCodeBits = 15;

// A table entry, packed in 32 bits so that the hot loop needs few steps:
//   bits 0-5    bits taken from the stream (code length plus extra bits);
//               bits 6-7 stay clear, so the low byte is that count
//   bits 8-13   code length alone (for a second-level table: its index bits)
//   bit 14      a second-level table starts at value
//   bit 15      a special code, value says which
//   bits 16-30  value: literal byte, length or distance base, or where a
//               second-level table starts
//   bit 31      a literal
// An entry with none of bits 14, 15 and 31 is a length or a distance base.
enum SpecialCode : uint32_t {
    kEndOfBlock = 0,
    kUnused = 1,     // no code starts with these bits
    kBadSymbol = 2,  // literal/length 286 and 287 of the fixed code
};
constexpr uint32_t kSubtableFlag = 1u << 14, kSpecialFlag = 1u << 15, kLiteralFlag = 1u << 31;

constexpr uint32_t MakeEntry(uint32_t flags, uint32_t codeLength, uint32_t extraBits, uint32_t value) {
    return flags | (value << 16) | (codeLength << 8) | (codeLength + extraBits);
}
constexpr uint32_t EntryTotal(uint32_t e) { return e & 63; }
constexpr uint32_t EntryCodeLength(uint32_t e) { return (e >> 8) & 63; }
constexpr uint32_t EntryValue(uint32_t e) { return (e >> 16) & 0x7FFF; }
constexpr bool IsLiteral(uint32_t e) { return (e & kLiteralFlag) != 0; }
constexpr bool IsSubtable(uint32_t e) { return (e & kSubtableFlag) != 0; }
constexpr bool IsSpecial(uint32_t e) { return (e & kSpecialFlag) != 0; }
constexpr bool IsBase(uint32_t e) { return (e & (kLiteralFlag | kSubtableFlag | kSpecialFlag)) == 0; }
constexpr uint32_t kUnusedEntry = MakeEntry(kSpecialFlag, 0, 0, kUnused);

constexpr int kLiteralPrimaryBits = 11;
constexpr int kDistancePrimaryBits = 8;
constexpr int kCodeLengthPrimaryBits = 7;

// Enough for any code: every second-level table belongs to a primary slot
// holding at least one code longer than the primary bits, at most 288 of them,
// and is at most 2^(15 - primary bits) entries long.
constexpr int kLiteralTableSize = (1 << kLiteralPrimaryBits) + 288 * (1 << (kMaxCodeBits - kLiteralPrimaryBits));
constexpr int kDistanceTableSize = (1 << kDistancePrimaryBits) + 32 * (1 << (kMaxCodeBits - kDistancePrimaryBits));
constexpr int kCodeLengthTableSize = 1 << kCodeLengthPrimaryBits;


enum TableKind { kLiteralLengthTable, kDistanceTable, kCodeLengthTable };

uint32_t SymbolEntry(TableKind kind, int symbol, uint32_t length) {
    switch (kind) {
    case kLiteralLengthTable:
        if (symbol < 256) return MakeEntry(kLiteralFlag, length, 0, static_cast<uint32_t>(symbol));
        if (symbol == 256) return MakeEntry(kSpecialFlag, length, 0, kEndOfBlock);
        if (symbol >= 286) return MakeEntry(kSpecialFlag, length, 0, kBadSymbol);
        return MakeEntry(0, length, kLengthExtra[symbol - 257], kLengthBase[symbol - 257]);
    case kDistanceTable:
        if (symbol >= 30) return MakeEntry(kSpecialFlag, length, 0, kBadSymbol);
        return MakeEntry(0, length, kDistanceExtra[symbol], kDistanceBase[symbol]);
    case kCodeLengthTable:
        break;
    }
    return MakeEntry(kLiteralFlag, length, 0, static_cast<uint32_t>(symbol));
}

struct ByteReversal {
    uint8_t table[256];
};

constexpr ByteReversal MakeByteReversal() {
    ByteReversal r{};
    for (int b = 0; b < 256; ++b) {
        int v = 0;
        for (int i = 0; i < 8; ++i) v |= ((b >> i) & 1) << (7 - i);
        r.table[b] = static_cast<uint8_t>(v);
    }
    return r;
}

constexpr ByteReversal kByteReversal = MakeByteReversal();

// The code's bits in reading order, first bit lowest.
inline uint32_t ReverseBits(uint32_t code, int length) {
    const uint32_t r = static_cast<uint32_t>(kByteReversal.table[code & 0xFF]) << 8 | kByteReversal.table[(code >> 8) & 0xFF];
    return r >> (16 - length);
}

// The canonical code of the lengths, as InflateRaw builds it: an incomplete
// code is accepted (its unused codes stay kUnused), an over-subscribed one is
// kInflateBadCode. Codes are assigned by length, then by symbol. The first
// 2^primary entries are indexed by the next primary bits of the stream.
int BuildDecodeTable(uint32_t* entries, int primary, const uint8_t* lengths, int n, TableKind kind) {
    int count[kMaxCodeBits + 1] = {};
    for (int s = 0; s < n; ++s) count[lengths[s]]++;
    int left = 1;
    int longest = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        left = 2 * left - count[len];
        if (left < 0) return kInflateBadCode;
        if (count[len]) longest = len;
    }
    const uint32_t subtableBits = longest > primary ? static_cast<uint32_t>(longest - primary) : 0;

    // Symbols in code order: by length, then by symbol.
    int offset[kMaxCodeBits + 2];
    offset[1] = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) offset[len + 1] = offset[len] + count[len];
    uint16_t sorted[288];
    for (int s = 0; s < n; ++s) {
        if (lengths[s]) sorted[offset[lengths[s]]++] = static_cast<uint16_t>(s);
    }

    // The primary table grows by doubling: while codes of length len are
    // placed, it is 2^len entries long, each code at its bits in reading
    // order; copying it upward repeats every shorter code for the next length.
    entries[0] = entries[1] = kUnusedEntry;
    uint32_t filled = 2;
    uint32_t code = 0;
    int len = 1;
    uint32_t used = 1u << primary;  // entries taken, primary table first
    uint32_t lastSlot = ~0u;        // the primary slot of the last second-level table
    const int codes = n - count[0];
    for (int i = 0; i < codes; ++i, ++code) {
        const int s = sorted[i];
        while (lengths[s] != len) {
            code <<= 1;
            if (++len <= primary) {
                std::memcpy(entries + filled, entries, filled * sizeof(uint32_t));
                filled *= 2;
            }
        }
        const uint32_t reversed = ReverseBits(code, len);
        const uint32_t entry = SymbolEntry(kind, s, static_cast<uint32_t>(len));
        if (len <= primary) {
            entries[reversed] = entry;
            continue;
        }
        // Codes sharing their first primary bits come one after another.
        const uint32_t slot = reversed & ((1u << primary) - 1);
        if (slot != lastSlot) {
            lastSlot = slot;
            entries[slot] = MakeEntry(kSubtableFlag, subtableBits, 0, used);
            for (uint32_t k = 0; k < (1u << subtableBits); ++k) entries[used + k] = kUnusedEntry;
            used += 1u << subtableBits;
        }
        uint32_t* sub = entries + EntryValue(entries[slot]);
        for (uint32_t k = reversed >> primary; k < (1u << subtableBits); k += 1u << (len - primary)) sub[k] = entry;
    }
    for (; filled < (1u << primary); filled *= 2) std::memcpy(entries + filled, entries, filled * sizeof(uint32_t));
    return kInflateOk;
}

// The entry for the next code, from a table of `primary` first-level bits;
// the bits stay in the buffer.
TW_ALWAYS_INLINE uint32_t Lookup(const uint32_t* entries, int primary, uint64_t bits) {
    uint32_t e = entries[bits & ((1u << primary) - 1)];
    if (IsSubtable(e)) {
        e = entries[EntryValue(e) + ((bits >> primary) & ((1u << EntryCodeLength(e)) - 1))];
    }
    return e;
}

// The extra bits of a base entry added to its base; bits is the buffer
// before the entry's bits were taken.
TW_ALWAYS_INLINE uint32_t BasePlusExtra(uint64_t bits, uint32_t e) {
    const uint64_t taken = bits & ((uint64_t{1} << EntryTotal(e)) - 1);
    return EntryValue(e) + static_cast<uint32_t>(taken >> EntryCodeLength(e));
}

TW_ALWAYS_INLINE uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

TW_ALWAYS_INLINE void Store64(uint8_t* p, uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    std::memcpy(p, &v, 8);
}

struct Decoder {
    const uint8_t* in;
    const uint8_t* inEnd;
    const uint8_t* inStart;
    uint64_t bits;         // next bits of the stream, least significant first
    uint32_t bitCount;     // how many of them are valid
    uint32_t zeroBytes;    // bytes past the end read as zero
    uint8_t* out;
    uint8_t* outStart;
    uint8_t* outEnd;

    // 56 bits or more, eight bytes in one load where the input allows it.
    void Refill() {
        if (inEnd - in >= 8) {
            bits |= Load64(in) << bitCount;
            in += (63 - bitCount) >> 3;
            bitCount |= 56;
            return;
        }
        while (bitCount < 56) {
            if (in < inEnd) bits |= static_cast<uint64_t>(*in++) << bitCount;
            else ++zeroBytes;
            bitCount += 8;
        }
    }
    // Whether bits past the end have been taken.
    bool Overrun() const { return bitCount < zeroBytes * 8; }
    // Whether n more bits from here lie within the input.
    bool Has(uint32_t n) const { return bitCount >= n + zeroBytes * 8; }
    void Drop(uint32_t n) {
        bits >>= n;
        bitCount -= n;
    }
    uint32_t Take(uint32_t n) {
        uint32_t v = static_cast<uint32_t>(bits & ((uint64_t{1} << n) - 1));
        Drop(n);
        return v;
    }
    // value + extra bits of a base entry, the entry's bits taken.
    uint32_t TakeBase(uint32_t e) {
        const uint32_t v = BasePlusExtra(bits, e);
        Drop(EntryTotal(e));
        return v;
    }
};

// An unused code: the reference reads 15 bits before it gives up.
int UnusedCode(const Decoder& d) { return d.Has(kMaxCodeBits) ? kInflateBadCode : kInflateInputEnded; }

// A special code's answer once its bits are taken: 1 at the end of the block.
int SpecialCodeResult(Decoder& d, uint32_t e, int badSymbol) {
    if (EntryValue(e) == kUnused) return UnusedCode(d);
    d.Drop(EntryTotal(e));
    if (d.Overrun()) return kInflateInputEnded;
    return EntryValue(e) == kEndOfBlock ? 1 : badSymbol;
}

// One symbol with every check; 1 at the end of the block, 0 to go on, or a
// failure.
int CarefulSymbol(Decoder& d, const uint32_t* lengths, const uint32_t* distances) {
    d.Refill();
    uint32_t e = Lookup(lengths, kLiteralPrimaryBits, d.bits);
    if (IsSpecial(e)) return SpecialCodeResult(d, e, kInflateBadLengthSymbol);
    if (IsLiteral(e)) {
        d.Drop(EntryTotal(e));
        if (d.Overrun()) return kInflateInputEnded;
        if (d.out == d.outEnd) return kInflateOutputFull;
        *d.out++ = static_cast<uint8_t>(EntryValue(e));
        return 0;
    }
    const uint32_t length = d.TakeBase(e);  // at most 20 of the 56 bits
    e = Lookup(distances, kDistancePrimaryBits, d.bits);
    if (IsSpecial(e)) return SpecialCodeResult(d, e, kInflateBadDistanceSymbol);
    const uint32_t distance = d.TakeBase(e);  // at most 28 more
    if (d.Overrun()) return kInflateInputEnded;
    if (distance > static_cast<uint32_t>(d.out - d.outStart)) return kInflateDistanceTooFar;
    if (static_cast<uint32_t>(d.outEnd - d.out) < length) return kInflateOutputFull;
    // Byte by byte: an overlapping copy repeats what it just wrote.
    const uint8_t* from = d.out - distance;
    for (uint32_t i = 0; i < length; ++i) d.out[i] = from[i];
    d.out += length;
    return 0;
}

// Input enough for three eight-byte loads in one turn of the fast loop (each
// takes at most seven bytes); output enough for the longest match plus the
// copy's overrun of up to 47 bytes.
constexpr ptrdiff_t kFastInputMargin = 32;
constexpr ptrdiff_t kFastOutputMargin = 258 + 48;

// Copies a match in the fast loop, where writing up to 47 bytes past it is
// allowed: 40 or 48 bytes first, which covers most matches without a loop.
TW_ALWAYS_INLINE void FastCopy(uint8_t* out, uint32_t distance, uint32_t length) {
    const uint8_t* from = out - distance;
    uint8_t* const end = out + length;
    if (distance >= 8) {
        for (int i = 0; i < 5; ++i, out += 8, from += 8) std::memcpy(out, from, 8);
        while (out < end) {
            std::memcpy(out, from, 8);
            out += 8;
            from += 8;
        }
    } else {
        // The last `distance` bytes repeated into a word, kept in a register:
        // each next word is the same pattern moved on by 8 mod distance.
        uint64_t v;
        if (distance == 1) {
            v = 0x0101010101010101ull * out[-1];
        } else {
            v = Load64(from) & ((uint64_t{1} << (8 * distance)) - 1);
            v |= v << (8 * distance);
            if (distance < 4) v |= v << (16 * distance);
        }
        static const uint8_t kPhase[8] = {0, 0, 0, 2, 0, 3, 2, 1};  // 8 mod distance
        const uint32_t right = 8 * kPhase[distance], left = 8 * (distance - kPhase[distance]);
        do {
            Store64(out, v);
            out += 8;
            v = (v >> right) | (v << left);
        } while (out < end);
    }
}

// bits with all but the low n cleared, n the low byte of e (below 64). The
// compiler writes the mask in three steps where BZHI takes one.
template <bool kBmi2>
TW_ALWAYS_INLINE uint64_t LowBits(uint64_t bits, uint32_t e) {
#if TW_X86 && defined(__x86_64__)
    if constexpr (kBmi2) {
        uint64_t r;
        __asm__("bzhi %q2, %1, %0" : "=r"(r) : "r"(bits), "r"(e));
        return r;
    }
#endif
    return bits & ((uint64_t{1} << (e & 0xFF)) - 1);
}

// The fast loop, in locals so that the byte stores cannot be taken to change
// the decoder's state. Returns 0 when a buffer's end is near, 1 at the end of
// the block, or a failure.
//
// count keeps the number of valid bits in its low six bits only: entries are
// subtracted whole, and every use masks it.
template <bool kBmi2>
TW_ALWAYS_INLINE int FastLoopBody(Decoder& d, const uint32_t* lit) {
    const uint32_t* const dist = lit + kLiteralTableSize;
    constexpr uint64_t litMask = (1u << kLiteralPrimaryBits) - 1, distMask = (1u << kDistancePrimaryBits) - 1;
    const uint8_t* in = d.in;
    uint8_t* out = d.out;
    if (d.inEnd - in < kFastInputMargin || d.outEnd - out < kFastOutputMargin) return 0;
    const uint8_t* const inLimit = d.inEnd - kFastInputMargin;
    uint8_t* const outLimit = d.outEnd - kFastOutputMargin;
    uint8_t* const outStart = d.outStart;
    uint64_t bits = d.bits;
    uint32_t count = d.bitCount;
    int result = 0;
    // After a refill all 64 bits of the buffer are stream bits, so the next
    // entry can be looked up before the refill that precedes its use: a
    // refill only fills bits above those an entry looks at.
#define TW_REFILL()                                 \
    do {                                            \
        bits |= Load64(in) << (count & 63);         \
        in += (~count & 63) >> 3;                   \
        count |= 56;                                \
    } while (0)
#define TW_CONSUME(e)               \
    do {                            \
        bits >>= ((e) & 63);        \
        count -= (e);               \
    } while (0)
    // A base entry's value plus its extra bits, before its bits are taken.
#define TW_BASE(e) (((e) >> 16) + static_cast<uint32_t>(LowBits<kBmi2>(bits, (e)) >> (((e) >> 8) & 63)))
    TW_REFILL();
    uint32_t e = lit[bits & litMask];
    while (in <= inLimit && out <= outLimit) {
        // 56 bits or more here, and e is the next code's entry.
        if (IsLiteral(e)) {
            // A literal from the first level has at most 11 bits: four fit in
            // 56, and 20 stream bits remain after them for the next entry.
            TW_CONSUME(e);
            *out++ = static_cast<uint8_t>(e >> 16);
            e = lit[bits & litMask];
            if (IsLiteral(e)) {
                TW_CONSUME(e);
                *out++ = static_cast<uint8_t>(e >> 16);
                e = lit[bits & litMask];
                if (IsLiteral(e)) {
                    TW_CONSUME(e);
                    *out++ = static_cast<uint8_t>(e >> 16);
                    e = lit[bits & litMask];
                    if (IsLiteral(e)) {
                        TW_CONSUME(e);
                        *out++ = static_cast<uint8_t>(e >> 16);
                        e = lit[bits & litMask];
                    }
                }
            }
            TW_REFILL();
            continue;
        }
        if (IsSubtable(e)) {
            e = lit[EntryValue(e) + ((bits >> kLiteralPrimaryBits) & ((1u << EntryCodeLength(e)) - 1))];
            if (IsLiteral(e)) {
                TW_CONSUME(e);
                *out++ = static_cast<uint8_t>(e >> 16);
                e = lit[bits & litMask];
                TW_REFILL();
                continue;
            }
        }
        if (!IsBase(e)) {
            if (EntryValue(e) == kEndOfBlock) {
                TW_CONSUME(e);
                result = 1;
            } else {
                // At least 15 bits are here, so an unused code is a bad one.
                result = EntryValue(e) == kBadSymbol ? kInflateBadLengthSymbol : kInflateBadCode;
            }
            break;
        }
        // Up to 20 bits for the length and 28 for the distance.
        const uint32_t length = TW_BASE(e);
        TW_CONSUME(e);
        e = dist[bits & distMask];
        if (IsSubtable(e)) {
            e = dist[EntryValue(e) + ((bits >> kDistancePrimaryBits) & ((1u << EntryCodeLength(e)) - 1))];
        }
        if (!IsBase(e)) {
            result = EntryValue(e) == kBadSymbol ? kInflateBadDistanceSymbol : kInflateBadCode;
            break;
        }
        const uint32_t distance = TW_BASE(e);
        TW_CONSUME(e);
        // 48 bits taken at most since the last refill: 16 stream bits are left.
        e = lit[bits & litMask];
        TW_REFILL();
        if (distance > static_cast<uint32_t>(out - outStart)) {
            result = kInflateDistanceTooFar;
            break;
        }
        FastCopy(out, distance, length);
        out += length;
    }
#undef TW_REFILL
#undef TW_CONSUME
#undef TW_BASE
    d.in = in;
    d.out = out;
    d.bits = bits;
    d.bitCount = count & 63;
    return result;
}

using FastLoopFunction = int (*)(Decoder&, const uint32_t*);

int FastLoopPlain(Decoder& d, const uint32_t* lit) { return FastLoopBody<false>(d, lit); }

#if TW_X86
// The same loop with BMI2's shifts by a register, which take one step where
// the plain ones take three.
__attribute__((target("bmi2"))) int FastLoopBmi2(Decoder& d, const uint32_t* lit) {
    return FastLoopBody<true>(d, lit);
}

bool HasBmi2() {
    unsigned eax, ebx, ecx, edx;
    return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) && (ebx & (1u << 8)) != 0;
}
#else
bool HasBmi2() { return false; }
#endif

std::atomic<FastLoopFunction> g_fastLoop{nullptr};

FastLoopFunction ChosenFastLoop() {
    FastLoopFunction f = g_fastLoop.load(std::memory_order_relaxed);
    if (!f) {
#if TW_X86
        f = HasBmi2() ? FastLoopBmi2 : FastLoopPlain;
#else
        f = FastLoopPlain;
#endif
        g_fastLoop.store(f, std::memory_order_relaxed);
    }
    return f;
}

// distances is lengths + kLiteralTableSize (the fast loop relies on it).
int DecodeBlock(Decoder& d, const uint32_t* lengths, const uint32_t* distances) {
    const FastLoopFunction fastLoop = ChosenFastLoop();
    for (;;) {
        int r = fastLoop(d, lengths);
        if (r == 0) r = CarefulSymbol(d, lengths, distances);
        if (r == 1) return kInflateOk;
        if (r != 0) return r;
    }
}

// The distance table follows the literal/length table directly, so the fast
// loop finds it at a fixed offset and keeps one register free.
struct FixedTables {
    uint32_t literals[kLiteralTableSize];
    uint32_t distances[kDistanceTableSize];
    FixedTables() {
        uint8_t lengths[288];
        for (int i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        BuildDecodeTable(literals, kLiteralPrimaryBits, lengths, 288, kLiteralLengthTable);
        for (int i = 0; i < 30; ++i) lengths[i] = 5;
        BuildDecodeTable(distances, kDistancePrimaryBits, lengths, 30, kDistanceTable);
    }
};

static_assert(offsetof(FixedTables, distances) == sizeof(uint32_t) * kLiteralTableSize, "tables adjacent");

const FixedTables& Fixed() {
    static const FixedTables tables;
    return tables;
}

struct DynamicTables {
    uint32_t literals[kLiteralTableSize];
    uint32_t distances[kDistanceTableSize];  // right after literals
    uint32_t codeLengths[kCodeLengthTableSize];
};

static_assert(offsetof(DynamicTables, distances) == sizeof(uint32_t) * kLiteralTableSize, "tables adjacent");

// The header of a dynamic block, read a field at a time with every check.
int ReadDynamicHeader(Decoder& d, DynamicTables& t) {
    d.Refill();
    const uint32_t hlit = d.Take(5) + 257, hdist = d.Take(5) + 1, hclen = d.Take(4) + 4;
    if (d.Overrun()) return kInflateInputEnded;
    if (hlit > 286 || hdist > 30) return kInflateBadCode;

    uint8_t lengths[286 + 30] = {};
    for (uint32_t i = 0; i < hclen; ++i) {
        d.Refill();
        lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(d.Take(3));
    }
    if (d.Overrun()) return kInflateInputEnded;
    if (BuildDecodeTable(t.codeLengths, kCodeLengthPrimaryBits, lengths, 19, kCodeLengthTable) != kInflateOk) {
        return kInflateBadCode;
    }

    for (uint8_t& l : lengths) l = 0;
    const uint32_t total = hlit + hdist;
    uint32_t index = 0;
    while (index < total) {
        d.Refill();
        const uint32_t e = Lookup(t.codeLengths, kCodeLengthPrimaryBits, d.bits);
        if (IsSpecial(e)) return UnusedCode(d);
        d.Drop(EntryTotal(e));
        if (d.Overrun()) return kInflateInputEnded;
        const uint32_t symbol = EntryValue(e);
        if (symbol < 16) {
            lengths[index++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t value = 0;
        uint32_t repeat;
        if (symbol == 16) {
            if (index == 0) return kInflateBadCode;
            value = lengths[index - 1];
            repeat = d.Take(2) + 3;
        } else if (symbol == 17) {
            repeat = d.Take(3) + 3;
        } else {
            repeat = d.Take(7) + 11;
        }
        if (d.Overrun()) return kInflateInputEnded;
        if (index + repeat > total) return kInflateBadCode;
        while (repeat--) lengths[index++] = value;
    }
    if (lengths[256] == 0) return kInflateBadCode;
    if (BuildDecodeTable(t.literals, kLiteralPrimaryBits, lengths, static_cast<int>(hlit), kLiteralLengthTable) !=
            kInflateOk ||
        BuildDecodeTable(t.distances, kDistancePrimaryBits, lengths + hlit, static_cast<int>(hdist),
                         kDistanceTable) != kInflateOk) {
        return kInflateBadCode;
    }
    return kInflateOk;
}

int StoredBlock(Decoder& d) {
    // The rest of the current byte is dropped; what the buffer holds beyond it
    // is read again from the input.
    const uint64_t consumedBits = static_cast<uint64_t>(d.in - d.inStart) * 8 + d.zeroBytes * 8 - d.bitCount;
    const uint8_t* p = d.inStart + (consumedBits + 7) / 8;
    d.bits = 0;
    d.bitCount = 0;
    if (d.inEnd - p < 4) return kInflateInputEnded;
    const uint32_t len = p[0] | (p[1] << 8), nlen = p[2] | (p[3] << 8);
    p += 4;
    if ((len ^ nlen) != 0xFFFF) return kInflateStoredLengthMismatch;
    if (static_cast<uint32_t>(d.inEnd - p) < len) return kInflateInputEnded;
    if (static_cast<uint32_t>(d.outEnd - d.out) < len) return kInflateOutputFull;
    if (len) std::memcpy(d.out, p, len);
    d.out += len;
    d.in = p + len;
    d.zeroBytes = 0;
    return kInflateOk;
}

}  // namespace

int InflateFast(const uint8_t* input, uint32_t inputLength, uint8_t* output, uint32_t outputCapacity,
                uint32_t* produced) {
    Decoder d{input, input + inputLength, input, 0, 0, 0, output, output, output + outputCapacity};
    DynamicTables dynamic;  // on the stack: about 37 KiB
    for (;;) {
        d.Refill();
        const uint32_t last = d.Take(1), type = d.Take(2);
        if (d.Overrun()) return kInflateInputEnded;
        int result;
        if (type == 0) {
            result = StoredBlock(d);
        } else if (type == 1) {
            result = DecodeBlock(d, Fixed().literals, Fixed().distances);
        } else if (type == 2) {
            result = ReadDynamicHeader(d, dynamic);
            if (result == kInflateOk) result = DecodeBlock(d, dynamic.literals, dynamic.distances);
        } else {
            return kInflateReservedBlock;
        }
        if (result != kInflateOk) return result;
        if (last) {
            if (produced) *produced = static_cast<uint32_t>(d.out - d.outStart);
            return kInflateOk;
        }
    }
}

bool InflateFastUseBmi2(bool use) {
    if (use && !HasBmi2()) return false;
#if TW_X86
    g_fastLoop.store(use ? FastLoopBmi2 : FastLoopPlain, std::memory_order_relaxed);
#endif
    return true;
}
