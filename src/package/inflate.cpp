// Bit order, code construction and the decoding loop follow RFC 1951 section 3.
#include "package/inflate.h"

#include "package/deflate_tables.h"

namespace {

constexpr int kMaxBits = 15;

struct InflateState {
    const uint8_t* input;
    uint32_t inputLength;
    uint32_t inputPosition;
    uint32_t bitBuffer;
    uint32_t bitCount;
    uint8_t* output;
    uint32_t outputCapacity;
    uint32_t outputPosition;
};

struct HuffmanTable {
    uint16_t count[kMaxBits + 1];
    uint16_t symbol[288];
};

// n (0..13) bits, least significant first; -1 when the input runs out.
int Bits(InflateState& s, int n, uint32_t* value) {
    while (s.bitCount < static_cast<uint32_t>(n)) {
        if (s.inputPosition >= s.inputLength) return kInflateInputEnded;
        s.bitBuffer |= static_cast<uint32_t>(s.input[s.inputPosition++]) << s.bitCount;
        s.bitCount += 8;
    }
    *value = s.bitBuffer & ((1u << n) - 1);
    s.bitBuffer >>= n;
    s.bitCount -= n;
    return kInflateOk;
}

// Canonical code from code lengths; an incomplete code is accepted, an
// over-subscribed one is not.
int BuildTable(HuffmanTable& t, const uint16_t* lengths, int n) {
    for (uint16_t& c : t.count) c = 0;
    for (int s = 0; s < n; ++s) t.count[lengths[s]]++;
    if (t.count[0] == n) return kInflateOk;
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
        left = 2 * left - t.count[len];
        if (left < 0) return kInflateBadCode;
    }
    uint16_t offset[kMaxBits + 2];
    offset[1] = 0;
    for (int len = 1; len < kMaxBits; ++len) offset[len + 1] = offset[len] + t.count[len];
    for (int s = 0; s < n; ++s) {
        if (lengths[s] != 0) t.symbol[offset[lengths[s]]++] = static_cast<uint16_t>(s);
    }
    return kInflateOk;
}

// One symbol; codes are read most significant bit first, one bit at a time.
int Decode(InflateState& s, const HuffmanTable& t, int* symbol) {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
        uint32_t bit;
        if (Bits(s, 1, &bit) != kInflateOk) return kInflateInputEnded;
        code |= static_cast<int>(bit);
        int count = t.count[len];
        if (code - count < first) {
            *symbol = t.symbol[index + (code - first)];
            return kInflateOk;
        }
        index += count;
        first = (first + count) << 1;
        code <<= 1;
    }
    return kInflateBadCode;
}

int StoredBlock(InflateState& s) {
    s.bitBuffer = 0;
    s.bitCount = 0;
    if (s.inputLength - s.inputPosition < 4) return kInflateInputEnded;
    const uint8_t* p = s.input + s.inputPosition;
    uint32_t len = p[0] | (p[1] << 8), nlen = p[2] | (p[3] << 8);
    s.inputPosition += 4;
    if ((len ^ nlen) != 0xFFFF) return kInflateStoredLengthMismatch;
    if (s.inputLength - s.inputPosition < len) return kInflateInputEnded;
    if (s.outputCapacity - s.outputPosition < len) return kInflateOutputFull;
    for (uint32_t i = 0; i < len; ++i) s.output[s.outputPosition++] = s.input[s.inputPosition++];
    return kInflateOk;
}


int DecodeCodes(InflateState& s, const HuffmanTable& lengths, const HuffmanTable& distances) {
    for (;;) {
        int symbol;
        if (int r = Decode(s, lengths, &symbol)) return r;
        if (symbol < 256) {
            if (s.outputPosition >= s.outputCapacity) return kInflateOutputFull;
            s.output[s.outputPosition++] = static_cast<uint8_t>(symbol);
            continue;
        }
        if (symbol == 256) return kInflateOk;
        if (symbol >= 286) return kInflateBadLengthSymbol;
        symbol -= 257;
        uint32_t extra;
        if (Bits(s, kLengthExtra[symbol], &extra) != kInflateOk) return kInflateInputEnded;
        uint32_t length = kLengthBase[symbol] + extra;
        int distanceSymbol;
        if (int r = Decode(s, distances, &distanceSymbol)) return r;
        if (distanceSymbol >= 30) return kInflateBadDistanceSymbol;
        if (Bits(s, kDistanceExtra[distanceSymbol], &extra) != kInflateOk) return kInflateInputEnded;
        uint32_t distance = kDistanceBase[distanceSymbol] + extra;
        if (distance > s.outputPosition) return kInflateDistanceTooFar;
        if (s.outputCapacity - s.outputPosition < length) return kInflateOutputFull;
        // Byte by byte: an overlapping copy repeats what it just wrote.
        for (uint32_t i = 0; i < length; ++i, ++s.outputPosition) {
            s.output[s.outputPosition] = s.output[s.outputPosition - distance];
        }
    }
}

int FixedBlock(InflateState& s) {
    static HuffmanTable lengthTable, distanceTable;
    static bool built = false;
    if (!built) {
        uint16_t lengths[288];
        for (int i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        if (BuildTable(lengthTable, lengths, 288) != kInflateOk) return kInflateBadCode;
        for (int i = 0; i < 30; ++i) lengths[i] = 5;
        if (BuildTable(distanceTable, lengths, 30) != kInflateOk) return kInflateBadCode;
        built = true;
    }
    return DecodeCodes(s, lengthTable, distanceTable);
}

// A dynamic block's literal/length and distance code lengths, read through
// its code-length code.
int ReadCodeLengths(InflateState& s, const HuffmanTable& codeLengths, uint16_t* lengths, int total) {
    int index = 0;
    while (index < total) {
        int symbol;
        if (int r = Decode(s, codeLengths, &symbol)) return r;
        if (symbol < 16) {
            lengths[index++] = static_cast<uint16_t>(symbol);
            continue;
        }
        uint16_t value = 0;
        uint32_t repeat;
        if (symbol == 16) {
            if (index == 0) return kInflateBadCode;
            value = lengths[index - 1];
            if (Bits(s, 2, &repeat) != kInflateOk) return kInflateInputEnded;
            repeat += 3;
        } else if (symbol == 17) {
            if (Bits(s, 3, &repeat) != kInflateOk) return kInflateInputEnded;
            repeat += 3;
        } else {
            if (Bits(s, 7, &repeat) != kInflateOk) return kInflateInputEnded;
            repeat += 11;
        }
        if (index + static_cast<int>(repeat) > total) return kInflateBadCode;
        while (repeat--) lengths[index++] = value;
    }
    return kInflateOk;
}

int DynamicBlock(InflateState& s) {
    uint32_t hlit, hdist, hclen;
    if (Bits(s, 5, &hlit) || Bits(s, 5, &hdist) || Bits(s, 4, &hclen)) return kInflateInputEnded;
    hlit += 257;
    hdist += 1;
    hclen += 4;
    if (hlit > 286 || hdist > 30) return kInflateBadCode;

    uint16_t lengths[286 + 30] = {};
    for (uint32_t i = 0; i < hclen; ++i) {
        uint32_t value;
        if (Bits(s, 3, &value) != kInflateOk) return kInflateInputEnded;
        lengths[kCodeLengthOrder[i]] = static_cast<uint16_t>(value);
    }
    HuffmanTable codeLengths;
    if (BuildTable(codeLengths, lengths, 19) != kInflateOk) return kInflateBadCode;
    for (uint16_t& l : lengths) l = 0;
    if (int r = ReadCodeLengths(s, codeLengths, lengths, static_cast<int>(hlit + hdist))) return r;
    if (lengths[256] == 0) return kInflateBadCode;

    HuffmanTable lengthTable, distanceTable;
    if (BuildTable(lengthTable, lengths, static_cast<int>(hlit)) != kInflateOk ||
        BuildTable(distanceTable, lengths + hlit, static_cast<int>(hdist)) != kInflateOk) {
        return kInflateBadCode;
    }
    return DecodeCodes(s, lengthTable, distanceTable);
}

}  // namespace

int InflateRaw(const uint8_t* input, uint32_t inputLength, uint8_t* output, uint32_t outputCapacity,
               uint32_t* produced) {
    InflateState s{input, inputLength, 0, 0, 0, output, outputCapacity, 0};
    for (;;) {
        uint32_t last, type;
        if (Bits(s, 1, &last) != kInflateOk || Bits(s, 2, &type) != kInflateOk) return kInflateInputEnded;
        int result;
        switch (type) {
        case 0: result = StoredBlock(s); break;
        case 1: result = FixedBlock(s); break;
        case 2: result = DynamicBlock(s); break;
        default: return kInflateReservedBlock;
        }
        if (result != kInflateOk) return result;
        if (last) {
            if (produced) *produced = s.outputPosition;
            return kInflateOk;
        }
    }
}
