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

#include <cstddef>
#include <cstring>

namespace {

constexpr int kMaxCodeBits = 15;

// A table entry, packed in 32 bits:
//   bits 0-7   bits taken from the stream (code length plus extra bits)
//   bits 8-11  code length alone
//   bits 12-15 kind
//   bits 16-31 value: literal byte, length or distance base, or where a
//              second-level table starts
enum EntryKind : uint32_t {
    kLiteral = 0,
    kBase = 1,      // a length or a distance: value plus extra bits
    kEndOfBlock = 2,
    kSubtable = 3,
    kUnused = 4,    // no code starts with these bits
    kBadSymbol = 5, // literal/length 286 and 287 of the fixed code
};

constexpr uint32_t MakeEntry(uint32_t kind, uint32_t codeLength, uint32_t extraBits, uint32_t value) {
    return (value << 16) | (kind << 12) | (codeLength << 8) | (codeLength + extraBits);
}
constexpr uint32_t EntryTotal(uint32_t e) { return e & 0xFF; }
constexpr uint32_t EntryCodeLength(uint32_t e) { return (e >> 8) & 0xF; }
constexpr uint32_t EntryKindOf(uint32_t e) { return (e >> 12) & 0xF; }
constexpr uint32_t EntryValue(uint32_t e) { return e >> 16; }

constexpr int kLiteralPrimaryBits = 11;
constexpr int kDistancePrimaryBits = 9;
constexpr int kCodeLengthPrimaryBits = 7;

// Enough for any code: every second-level table belongs to a primary slot
// holding at least one code longer than the primary bits, at most 288 of them,
// and is at most 2^(15 - primary bits) entries long.
constexpr int kLiteralTableSize = (1 << kLiteralPrimaryBits) + 288 * (1 << (kMaxCodeBits - kLiteralPrimaryBits));
constexpr int kDistanceTableSize = (1 << kDistancePrimaryBits) + 32 * (1 << (kMaxCodeBits - kDistancePrimaryBits));
constexpr int kCodeLengthTableSize = 1 << kCodeLengthPrimaryBits;

struct DecodeTable {
    int primaryBits;
    int subtableBits;  // index bits of every second-level table
    uint32_t* entries;
};

const uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

enum TableKind { kLiteralLengthTable, kDistanceTable, kCodeLengthTable };

uint32_t SymbolEntry(TableKind kind, int symbol, uint32_t length) {
    switch (kind) {
    case kLiteralLengthTable:
        if (symbol < 256) return MakeEntry(kLiteral, length, 0, static_cast<uint32_t>(symbol));
        if (symbol == 256) return MakeEntry(kEndOfBlock, length, 0, 0);
        if (symbol >= 286) return MakeEntry(kBadSymbol, length, 0, 0);
        return MakeEntry(kBase, length, kLengthExtra[symbol - 257], kLengthBase[symbol - 257]);
    case kDistanceTable:
        if (symbol >= 30) return MakeEntry(kBadSymbol, length, 0, 0);
        return MakeEntry(kBase, length, kDistanceExtra[symbol], kDistanceBase[symbol]);
    case kCodeLengthTable:
        break;
    }
    return MakeEntry(kLiteral, length, 0, static_cast<uint32_t>(symbol));
}

uint32_t ReverseBits(uint32_t code, int length) {
    uint32_t r = 0;
    for (int i = 0; i < length; ++i, code >>= 1) r = (r << 1) | (code & 1);
    return r;
}

// The canonical code of the lengths, as InflateRaw builds it: an incomplete
// code is accepted (its unused codes stay kUnused), an over-subscribed one is
// kInflateBadCode. Codes are assigned by length, then by symbol.
int BuildDecodeTable(DecodeTable& t, const uint8_t* lengths, int n, TableKind kind) {
    int count[kMaxCodeBits + 1] = {};
    for (int s = 0; s < n; ++s) count[lengths[s]]++;
    int left = 1;
    int longest = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        left = 2 * left - count[len];
        if (left < 0) return kInflateBadCode;
        if (count[len]) longest = len;
    }
    const int primary = t.primaryBits;
    t.subtableBits = longest > primary ? longest - primary : 0;
    const uint32_t unused = MakeEntry(kUnused, 0, 0, 0);
    for (int i = 0; i < (1 << primary); ++i) t.entries[i] = unused;
    if (longest == 0) return kInflateOk;

    uint32_t next[kMaxCodeBits + 2];
    next[1] = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) next[len + 1] = (next[len] + count[len]) << 1;

    uint32_t used = 1u << primary;  // entries taken, primary table first
    for (int len = 1; len <= longest; ++len) {
        for (int s = 0; s < n; ++s) {
            if (lengths[s] != len) continue;
            const uint32_t reversed = ReverseBits(next[len]++, len);
            const uint32_t entry = SymbolEntry(kind, s, static_cast<uint32_t>(len));
            if (len <= primary) {
                for (uint32_t i = reversed; i < (1u << primary); i += 1u << len) t.entries[i] = entry;
                continue;
            }
            const uint32_t slot = reversed & ((1u << primary) - 1);
            if (EntryKindOf(t.entries[slot]) != kSubtable) {
                t.entries[slot] = MakeEntry(kSubtable, 0, 0, used);
                for (uint32_t i = 0; i < (1u << t.subtableBits); ++i) t.entries[used + i] = unused;
                used += 1u << t.subtableBits;
            }
            uint32_t* sub = t.entries + EntryValue(t.entries[slot]);
            for (uint32_t i = reversed >> primary; i < (1u << t.subtableBits); i += 1u << (len - primary)) {
                sub[i] = entry;
            }
        }
    }
    return kInflateOk;
}

uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
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
};

// The entry for the next code; the bits stay in the buffer.
inline uint32_t Lookup(const DecodeTable& t, uint64_t bits) {
    uint32_t e = t.entries[bits & ((1u << t.primaryBits) - 1)];
    if (EntryKindOf(e) == kSubtable) {
        e = t.entries[EntryValue(e) + ((bits >> t.primaryBits) & ((1u << t.subtableBits) - 1))];
    }
    return e;
}

// value + extra bits of a kBase entry, the entry's bits taken.
inline uint32_t TakeBase(Decoder& d, uint32_t e) {
    const uint32_t total = EntryTotal(e);
    const uint32_t extra = static_cast<uint32_t>((d.bits & ((uint64_t{1} << total) - 1)) >> EntryCodeLength(e));
    d.Drop(total);
    return EntryValue(e) + extra;
}

// An unused code: the reference reads 15 bits before it gives up.
inline int UnusedCode(const Decoder& d) { return d.Has(kMaxCodeBits) ? kInflateBadCode : kInflateInputEnded; }

// Copies a match whose room has been checked; may write up to 7 bytes past it
// when slack says so.
inline void CopyMatch(uint8_t* out, uint32_t distance, uint32_t length, bool slack) {
    const uint8_t* from = out - distance;
    if (slack && distance >= 8) {
        uint8_t* end = out + length;
        do {
            std::memcpy(out, from, 8);
            out += 8;
            from += 8;
        } while (out < end);
    } else if (distance == 1) {
        std::memset(out, out[-1], length);
    } else {
        for (uint32_t i = 0; i < length; ++i) out[i] = from[i];
    }
}

// One symbol with every check; 1 at the end of the block, 0 to go on, or a
// failure.
int CarefulSymbol(Decoder& d, const DecodeTable& lengths, const DecodeTable& distances) {
    d.Refill();
    uint32_t e = Lookup(lengths, d.bits);
    switch (EntryKindOf(e)) {
    case kLiteral:
        d.Drop(EntryTotal(e));
        if (d.Overrun()) return kInflateInputEnded;
        if (d.out == d.outEnd) return kInflateOutputFull;
        *d.out++ = static_cast<uint8_t>(EntryValue(e));
        return 0;
    case kEndOfBlock:
        d.Drop(EntryTotal(e));
        return d.Overrun() ? kInflateInputEnded : 1;
    case kBadSymbol:
        d.Drop(EntryTotal(e));
        return d.Overrun() ? kInflateInputEnded : kInflateBadLengthSymbol;
    case kUnused:
        return UnusedCode(d);
    default:
        break;
    }
    const uint32_t length = TakeBase(d, e);  // at most 20 of the 56 bits
    e = Lookup(distances, d.bits);
    if (EntryKindOf(e) == kUnused) return UnusedCode(d);
    if (EntryKindOf(e) == kBadSymbol) {
        d.Drop(EntryTotal(e));
        return d.Overrun() ? kInflateInputEnded : kInflateBadDistanceSymbol;
    }
    const uint32_t distance = TakeBase(d, e);  // at most 28 more
    if (d.Overrun()) return kInflateInputEnded;
    if (distance > static_cast<uint32_t>(d.out - d.outStart)) return kInflateDistanceTooFar;
    if (static_cast<uint32_t>(d.outEnd - d.out) < length) return kInflateOutputFull;
    CopyMatch(d.out, distance, length, false);
    d.out += length;
    return 0;
}

// Input enough for three eight-byte loads in one turn of the fast loop (each
// takes at most seven bytes); output enough for the longest match plus the
// copy's overrun of up to 39 bytes.
constexpr ptrdiff_t kFastInputMargin = 32;
constexpr ptrdiff_t kFastOutputMargin = 258 + 40;

// Copies a match in the fast loop, where writing up to 39 bytes past it is
// allowed: five words first, which covers most matches without a loop.
inline void FastCopy(uint8_t* out, uint32_t distance, uint32_t length) {
    const uint8_t* from = out - distance;
    uint8_t* const end = out + length;
    if (distance >= 8) {
        for (int i = 0; i < 5; ++i, out += 8, from += 8) std::memcpy(out, from, 8);
        while (out < end) {
            std::memcpy(out, from, 8);
            out += 8;
            from += 8;
        }
    } else if (distance == 1) {
        const uint64_t v = 0x0101010101010101ull * out[-1];
        for (; out < end; out += 8) std::memcpy(out, &v, 8);
    } else {
        // The first eight bytes one at a time set the pattern going; after them
        // a word can come from a whole number of periods back, eight or more.
        for (int i = 0; i < 8; ++i) out[i] = from[i];
        const uint32_t period = distance * ((8 + distance - 1) / distance);
        for (out += 8; out < end; out += 8) std::memcpy(out, out - period, 8);
    }
}

// The fast loop, in locals so that the byte stores cannot be taken to change
// the decoder's state. Returns 0 when a buffer's end is near, 1 at the end of
// the block, or a failure.
int FastLoop(Decoder& d, const DecodeTable& lengths, const DecodeTable& distances) {
    const uint32_t* const lit = lengths.entries;
    const uint32_t litBits = lengths.primaryBits, litSubMask = (1u << lengths.subtableBits) - 1;
    const uint32_t* const dist = distances.entries;
    const uint32_t distBits = distances.primaryBits, distSubMask = (1u << distances.subtableBits) - 1;
    const uint64_t litMask = (1u << litBits) - 1, distMask = (1u << distBits) - 1;
    const uint8_t* in = d.in;
    const uint8_t* const inEnd = d.inEnd;
    uint8_t* out = d.out;
    uint8_t* const outStart = d.outStart;
    uint8_t* const outEnd = d.outEnd;
    uint64_t bits = d.bits;
    uint32_t count = d.bitCount;
    int result = 0;
    // After a refill all 64 bits of the buffer are stream bits, so the next
    // entry can be looked up before the refill that precedes its use: a
    // refill only fills bits above those an entry looks at.
#define TW_REFILL()                         \
    do {                                    \
        bits |= Load64(in) << count;        \
        in += (63 - count) >> 3;            \
        count |= 56;                        \
    } while (0)
#define TW_CONSUME(n)  \
    do {               \
        bits >>= (n);  \
        count -= (n);  \
    } while (0)
    if (inEnd - in < kFastInputMargin || outEnd - out < kFastOutputMargin) return 0;
    TW_REFILL();
    uint32_t e = lit[bits & litMask];
    while (inEnd - in >= kFastInputMargin && outEnd - out >= kFastOutputMargin) {
        // 56 bits or more here, and e is the next code's entry.
        if (EntryKindOf(e) == kLiteral) {
            // Three literals fit in 56 bits; 15 stream bits remain after them.
            TW_CONSUME(EntryTotal(e));
            *out++ = static_cast<uint8_t>(EntryValue(e));
            e = lit[bits & litMask];
            if (EntryKindOf(e) == kLiteral) {
                TW_CONSUME(EntryTotal(e));
                *out++ = static_cast<uint8_t>(EntryValue(e));
                e = lit[bits & litMask];
                if (EntryKindOf(e) == kLiteral) {
                    TW_CONSUME(EntryTotal(e));
                    *out++ = static_cast<uint8_t>(EntryValue(e));
                    e = lit[bits & litMask];
                }
            }
            TW_REFILL();
            continue;
        }
        if (EntryKindOf(e) == kSubtable) {
            e = lit[EntryValue(e) + ((bits >> litBits) & litSubMask)];
            if (EntryKindOf(e) == kLiteral) {
                TW_CONSUME(EntryTotal(e));
                *out++ = static_cast<uint8_t>(EntryValue(e));
                TW_REFILL();
                e = lit[bits & litMask];
                continue;
            }
        }
        if (EntryKindOf(e) != kBase) {
            if (EntryKindOf(e) == kEndOfBlock) {
                TW_CONSUME(EntryTotal(e));
                result = 1;
            } else {
                // At least 15 bits are here, so an unused code is a bad one.
                result = EntryKindOf(e) == kBadSymbol ? kInflateBadLengthSymbol : kInflateBadCode;
            }
            break;
        }
        // Up to 20 bits for the length and 28 for the distance.
        uint32_t total = EntryTotal(e);
        const uint32_t length =
            EntryValue(e) + static_cast<uint32_t>((bits & ((uint64_t{1} << total) - 1)) >> EntryCodeLength(e));
        TW_CONSUME(total);
        e = dist[bits & distMask];
        if (EntryKindOf(e) == kSubtable) e = dist[EntryValue(e) + ((bits >> distBits) & distSubMask)];
        if (EntryKindOf(e) != kBase) {
            result = EntryKindOf(e) == kBadSymbol ? kInflateBadDistanceSymbol : kInflateBadCode;
            break;
        }
        total = EntryTotal(e);
        const uint32_t distance =
            EntryValue(e) + static_cast<uint32_t>((bits & ((uint64_t{1} << total) - 1)) >> EntryCodeLength(e));
        TW_CONSUME(total);
        TW_REFILL();
        e = lit[bits & litMask];
        if (distance > static_cast<uint32_t>(out - outStart)) {
            result = kInflateDistanceTooFar;
            break;
        }
        FastCopy(out, distance, length);
        out += length;
    }
#undef TW_REFILL
#undef TW_CONSUME
    d.in = in;
    d.out = out;
    d.bits = bits;
    d.bitCount = count;
    return result;
}

int DecodeBlock(Decoder& d, const DecodeTable& lengths, const DecodeTable& distances) {
    for (;;) {
        int r = FastLoop(d, lengths, distances);
        if (r == 0) r = CarefulSymbol(d, lengths, distances);
        if (r == 1) return kInflateOk;
        if (r != 0) return r;
    }
}

struct FixedTables {
    uint32_t literalEntries[kLiteralTableSize];
    uint32_t distanceEntries[kDistanceTableSize];
    DecodeTable literals{kLiteralPrimaryBits, 0, literalEntries};
    DecodeTable distances{kDistancePrimaryBits, 0, distanceEntries};
    FixedTables() {
        uint8_t lengths[288];
        for (int i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        BuildDecodeTable(literals, lengths, 288, kLiteralLengthTable);
        for (int i = 0; i < 30; ++i) lengths[i] = 5;
        BuildDecodeTable(distances, lengths, 30, kDistanceTable);
    }
};

const FixedTables& Fixed() {
    static const FixedTables tables;
    return tables;
}

struct DynamicTables {
    uint32_t literalEntries[kLiteralTableSize];
    uint32_t distanceEntries[kDistanceTableSize];
    uint32_t codeLengthEntries[kCodeLengthTableSize];
};

// The header of a dynamic block, read a field at a time with every check.
int ReadDynamicHeader(Decoder& d, DynamicTables& storage, DecodeTable& literals, DecodeTable& distances) {
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
    DecodeTable codeLengths{kCodeLengthPrimaryBits, 0, storage.codeLengthEntries};
    if (BuildDecodeTable(codeLengths, lengths, 19, kCodeLengthTable) != kInflateOk) return kInflateBadCode;

    for (uint8_t& l : lengths) l = 0;
    const uint32_t total = hlit + hdist;
    uint32_t index = 0;
    while (index < total) {
        d.Refill();
        const uint32_t e = Lookup(codeLengths, d.bits);
        if (EntryKindOf(e) == kUnused) return UnusedCode(d);
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
    if (BuildDecodeTable(literals, lengths, static_cast<int>(hlit), kLiteralLengthTable) != kInflateOk ||
        BuildDecodeTable(distances, lengths + hlit, static_cast<int>(hdist), kDistanceTable) != kInflateOk) {
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
    DynamicTables* dynamic = nullptr;
    DynamicTables local;  // on the stack: about 60 KiB
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
            dynamic = &local;
            DecodeTable literals{kLiteralPrimaryBits, 0, dynamic->literalEntries};
            DecodeTable distances{kDistancePrimaryBits, 0, dynamic->distanceEntries};
            result = ReadDynamicHeader(d, *dynamic, literals, distances);
            if (result == kInflateOk) result = DecodeBlock(d, literals, distances);
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
