#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "inflate_compare.h"

namespace {

// Writes a DEFLATE bit stream: header fields least significant bit first,
// Huffman codes most significant bit first (RFC 1951, 3.1.1).
class BitWriter {
public:
    void Put(uint32_t value, int n) {
        for (int i = 0; i < n; ++i) PutBit((value >> i) & 1);
    }
    void Code(uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i) PutBit((code >> i) & 1);
    }
    // The fixed literal/length code of a symbol.
    void Fixed(int symbol) {
        if (symbol < 144) Code(0x30 + symbol, 8);
        else if (symbol < 256) Code(0x190 + symbol - 144, 9);
        else if (symbol < 280) Code(symbol - 256, 7);
        else Code(0xC0 + symbol - 280, 8);
    }
    std::vector<uint8_t> bytes;

private:
    void PutBit(uint32_t bit) {
        if (used_ % 8 == 0) bytes.push_back(0);
        bytes.back() |= static_cast<uint8_t>(bit << (used_ % 8));
        ++used_;
    }
    size_t used_ = 0;
};

// Every case runs against the reference and the fast decoder.
class Decoding : public testing::TestWithParam<Decoder> {
protected:
    Decoded Inflate(const std::vector<uint8_t>& input, uint32_t capacity) { return Decode(GetParam(), input, capacity); }
};

TEST_P(Decoding, StoredBlocks) {
    EXPECT_EQ(Inflate({}, 10).result, kInflateInputEnded);
    Decoded empty = Inflate({0x01, 0x00, 0x00, 0xFF, 0xFF}, 0);  // final, stored, LEN 0
    EXPECT_EQ(empty.result, kInflateOk);
    EXPECT_EQ(empty.produced, 0u);
    Decoded abc = Inflate({0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b', 'c', 0xEE, 0xEE}, 3);  // trailing data ignored
    EXPECT_EQ(abc.result, kInflateOk);
    EXPECT_EQ(abc.out, (std::vector<uint8_t>{'a', 'b', 'c'}));
    EXPECT_EQ(Inflate({0x01, 0x03, 0x00, 0xFC, 0xFE, 'a', 'b', 'c'}, 3).result, kInflateStoredLengthMismatch);
    EXPECT_EQ(Inflate({0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b'}, 3).result, kInflateInputEnded);  // data short
    EXPECT_EQ(Inflate({0x01, 0x03, 0x00, 0xFC}, 3).result, kInflateInputEnded);                  // NLEN short
    EXPECT_EQ(Inflate({0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b', 'c'}, 2).result, kInflateOutputFull);
    // A non-final block then nothing: the stream is incomplete.
    EXPECT_EQ(Inflate({0x00, 0x00, 0x00, 0xFF, 0xFF}, 0).result, kInflateInputEnded);
    EXPECT_EQ(Inflate({0x07}, 0).result, kInflateReservedBlock);  // BFINAL 1, BTYPE 11
}

// Fixed block: "a", then a back-reference of length 3 at the given distance code.
std::vector<uint8_t> FixedBackReference(int distanceCode, int extraBits = 0, uint32_t extra = 0) {
    BitWriter w;
    w.Put(1, 1);           // BFINAL
    w.Put(1, 2);           // BTYPE 01 fixed
    w.Fixed('a');
    w.Fixed(257);          // length 3
    w.Code(distanceCode, 5);
    w.Put(extra, extraBits);
    w.Fixed(256);          // end of block
    return w.bytes;
}

TEST_P(Decoding, FixedBlocksAndDistances) {
    Decoded d = Inflate(FixedBackReference(0), 4);  // distance 1 == bytes produced so far
    ASSERT_EQ(d.result, kInflateOk);
    EXPECT_EQ(d.out, (std::vector<uint8_t>{'a', 'a', 'a', 'a'}));
    EXPECT_EQ(Inflate(FixedBackReference(0), 3).result, kInflateOutputFull);  // one byte short
    EXPECT_EQ(Inflate(FixedBackReference(1), 4).result, kInflateDistanceTooFar);  // distance 2, one too far
    // Distance codes 30 and 31 have no code in the 30-symbol fixed distance
    // table, so they fail as "no symbol within 15 bits" before the symbol check.
    for (int code : {30, 31}) {
        std::vector<uint8_t> stream = FixedBackReference(code);
        stream.insert(stream.end(), {0xFF, 0xFF});  // enough bits for the decoder to try all 15
        EXPECT_EQ(Inflate(stream, 4).result, kInflateBadCode) << code;
    }

    for (int symbol : {286, 287}) {
        BitWriter w;
        w.Put(1, 1);
        w.Put(1, 2);
        w.Fixed(symbol);
        EXPECT_EQ(Inflate(w.bytes, 10).result, kInflateBadLengthSymbol) << symbol;
    }
    // Input ending inside a code.
    std::vector<uint8_t> cut = FixedBackReference(0);
    cut.pop_back();
    cut.pop_back();
    EXPECT_EQ(Inflate(cut, 4).result, kInflateInputEnded);
}

// BFINAL 1, BTYPE 10 (dynamic), then the HLIT, HDIST and HCLEN fields.
BitWriter DynamicStart(int hlitField, int hdistField, int hclenField) {
    BitWriter w;
    w.Put(1, 1);
    w.Put(2, 2);
    w.Put(hlitField, 5);
    w.Put(hdistField, 5);
    w.Put(hclenField, 4);
    return w;
}

// A dynamic block whose literal/length code is 'a' = 0, end = 10 (code 11 is
// unused) and whose distance code has one symbol (code 1 unused).
BitWriter DynamicHeader(int hlitField = 0, bool withEnd = true) {
    BitWriter w = DynamicStart(hlitField, 0, 14);  // HLIT 257 + field, HDIST 1, HCLEN 18
    // Code-length code lengths in the order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1:
    // symbols 1, 2 and 18 get length 2 (codes 00, 01, 10).
    const int order[18] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1};
    for (int symbol : order) w.Put(symbol == 1 || symbol == 2 || symbol == 18 ? 2 : 0, 3);
    w.Code(2, 2);
    w.Put(97 - 11, 7);      // 18: 97 zeros (symbols 0-96)
    w.Code(0, 2);           // 1: 'a' (97) has length 1
    w.Code(2, 2);
    w.Put(138 - 11, 7);     // 18: 138 zeros (98-235)
    w.Code(2, 2);
    w.Put(20 - 11, 7);      // 18: 20 zeros (236-255)
    w.Code(withEnd ? 1 : 2, 2);  // 256: length 2 (or a zero run ending the list)
    if (!withEnd) w.Put(0, 7);
    if (hlitField > 0 && withEnd) {
        for (int i = 0; i < hlitField; ++i) w.Code(2, 2), w.Put(0, 7);
    }
    w.Code(0, 2);           // distance 0: length 1
    return w;
}

TEST_P(Decoding, DynamicBlocks) {
    BitWriter ok = DynamicHeader();
    ok.Code(0, 1);  // 'a'
    ok.Code(0, 1);  // 'a'
    ok.Code(2, 2);  // end
    Decoded d = Inflate(ok.bytes, 2);
    ASSERT_EQ(d.result, kInflateOk);
    EXPECT_EQ(d.out, (std::vector<uint8_t>{'a', 'a'}));

    // The unused code 11 fails only when the data uses it.
    BitWriter unused = DynamicHeader();
    unused.Code(0, 1);
    unused.Code(3, 2);
    for (int i = 0; i < 14; ++i) unused.Code(1, 1);  // keep the decoder fed up to 15 bits
    EXPECT_EQ(Inflate(unused.bytes, 10).result, kInflateBadCode);

    // HLIT field 30 (287 codes) is refused.
    BitWriter tooMany = DynamicStart(30, 0, 0);
    tooMany.Put(0, 24);
    EXPECT_EQ(Inflate(tooMany.bytes, 10).result, kInflateBadCode);

    // HDIST field 30 (31 codes) is refused too.
    BitWriter tooManyDistances = DynamicStart(0, 30, 0);
    tooManyDistances.Put(0, 20);
    EXPECT_EQ(Inflate(tooManyDistances.bytes, 10).result, kInflateBadCode);
}

TEST_P(Decoding, DynamicCodeDescriptionFaults) {
    // Symbol 256 without a code.
    BitWriter noEnd = DynamicStart(0, 0, 14);
    const int order[18] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1};
    for (int symbol : order) noEnd.Put(symbol == 1 || symbol == 18 ? 1 : 0, 3);  // 1 = 0, 18 = 1
    noEnd.Code(1, 1);
    noEnd.Put(138 - 11, 7);
    noEnd.Code(1, 1);
    noEnd.Put(119 - 11, 7);  // 257 zeros in all
    noEnd.Code(0, 1);        // distance 0 length 1
    EXPECT_EQ(Inflate(noEnd.bytes, 10).result, kInflateBadCode);

    // A repeat (16) before any length was read.
    BitWriter repeatFirst = DynamicStart(0, 0, 0);  // HCLEN 4: symbols 16 17 18 0
    repeatFirst.Put(1, 3);               // 16: length 1
    repeatFirst.Put(1, 3);               // 17: length 1
    repeatFirst.Put(0, 3);
    repeatFirst.Put(0, 3);
    repeatFirst.Code(0, 1);              // 16 first
    repeatFirst.Put(0, 2);
    EXPECT_EQ(Inflate(repeatFirst.bytes, 10).result, kInflateBadCode);

    // Over-subscribed code-length code: three symbols of length 1.
    BitWriter over = DynamicStart(0, 0, 0);
    for (int i = 0; i < 3; ++i) over.Put(1, 3);
    over.Put(0, 3);
    EXPECT_EQ(Inflate(over.bytes, 10).result, kInflateBadCode);

    // A zero run (18) passing the end of the lengths.
    BitWriter pastEnd = DynamicStart(0, 0, 0);
    pastEnd.Put(0, 3);   // 16
    pastEnd.Put(1, 3);   // 17: code 0
    pastEnd.Put(1, 3);   // 18: code 1
    pastEnd.Put(0, 3);   // 0
    pastEnd.Code(1, 1);
    pastEnd.Put(127, 7); // 138
    pastEnd.Code(1, 1);
    pastEnd.Put(127, 7); // 276 > 258
    EXPECT_EQ(Inflate(pastEnd.bytes, 10).result, kInflateBadCode);
}

std::vector<uint8_t> RawDeflate(const std::vector<uint8_t>& data, int level, int strategy = Z_DEFAULT_STRATEGY) {
    z_stream z = {};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    std::vector<uint8_t> out(deflateBound(&z, data.size()) + 16);
    z.next_in = const_cast<uint8_t*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::vector<uint8_t> SampleData(size_t which) {
    std::mt19937 rng(static_cast<uint32_t>(which));
    std::vector<uint8_t> data;
    switch (which % 4) {
    case 0:  // random bytes: mostly stored or literal-only blocks
        data.resize(70000);
        for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
        break;
    case 1:  // few symbols, long matches, overlapping copies
        data.resize(200000);
        for (size_t i = 0; i < data.size(); ++i) data[i] = "ab"[rng() % 7 == 0];
        break;
    case 2: {  // real text from the system headers
        for (const char* path : {"/usr/include/stdio.h", "/usr/include/stdlib.h", "/usr/include/string.h"}) {
            std::ifstream in(path, std::ios::binary);
            std::stringstream s;
            s << in.rdbuf();
            std::string text = s.str();
            data.insert(data.end(), text.begin(), text.end());
        }
        break;
    }
    default:
        break;  // empty input
    }
    return data;
}

TEST_P(Decoding, MatchesZlibAtEveryLevel) {
    for (size_t which = 0; which < 4; ++which) {
        std::vector<uint8_t> data = SampleData(which);
        for (int level = 0; level <= 9; ++level) {
            std::vector<uint8_t> packed = RawDeflate(data, level);
            Decoded d = Inflate(packed, static_cast<uint32_t>(data.size()));
            ASSERT_EQ(d.result, kInflateOk) << "sample " << which << " level " << level;
            EXPECT_EQ(d.out, data) << "sample " << which << " level " << level;
            if (!data.empty()) {
                EXPECT_EQ(Inflate(packed, static_cast<uint32_t>(data.size() - 1)).result, kInflateOutputFull);
            }
        }
    }
}

// The fast decoder gives the reference's answer, whatever the input: so the
// tables below compare the two only, on inputs cut, squeezed and damaged.
struct StreamCase {
    const char* name;
    size_t sample;
    int level;
    int strategy;
};

const StreamCase kStreams[] = {
    {"random stored", 0, 0, Z_DEFAULT_STRATEGY},   {"random level 6", 0, 6, Z_DEFAULT_STRATEGY},
    {"runs level 1", 1, 1, Z_DEFAULT_STRATEGY},    {"runs fixed", 1, 6, Z_FIXED},
    {"runs rle", 1, 9, Z_RLE},                     {"text level 9", 2, 9, Z_DEFAULT_STRATEGY},
    {"text huffman only", 2, 6, Z_HUFFMAN_ONLY},   {"text fixed", 2, 6, Z_FIXED},
    {"empty", 3, 6, Z_DEFAULT_STRATEGY},
};

// Every cut near the start and the end of the stream, and every capacity near
// the output's size: the careful path's answers at both buffers' ends.
TEST(InflateFast, CutStreamsAndTightOutputs) {
    for (const StreamCase& c : kStreams) {
        std::vector<uint8_t> data = SampleData(c.sample);
        if (data.size() > 12000) data.resize(12000);  // each capacity decodes it all again
        std::vector<uint8_t> packed = RawDeflate(data, c.level, c.strategy);
        const uint32_t size = static_cast<uint32_t>(data.size());
        for (size_t cut = 0; cut <= packed.size(); ++cut) {
            if (cut > 300 && cut + 80 < packed.size()) cut = packed.size() - 80;
            std::vector<uint8_t> head(packed.begin(), packed.begin() + cut);
            ExpectSameAsReference(head, size, std::string(c.name) + " cut at " + std::to_string(cut));
        }
        for (uint32_t capacity = size > 300 ? size - 300 : 0; capacity <= size + 8; ++capacity) {
            ExpectSameAsReference(packed, capacity, std::string(c.name) + " capacity " + std::to_string(capacity));
        }
        ExpectSameAsReference(packed, 0, std::string(c.name) + " capacity 0");
    }
}

// Damaged streams: single bytes changed, the header fields included. Most
// fail, and each must fail the reference's way.
TEST(InflateFast, DamagedStreams) {
    std::mt19937 rng(7);
    for (const StreamCase& c : kStreams) {
        std::vector<uint8_t> data = SampleData(c.sample);
        std::vector<uint8_t> packed = RawDeflate(data, c.level, c.strategy);
        if (packed.size() > 4000) packed.resize(4000);  // cut streams fail later, still compared
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> damaged = packed;
            const size_t at = round < 64 ? round % damaged.size() : rng() % damaged.size();
            damaged[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
            ExpectSameAsReference(damaged, static_cast<uint32_t>(data.size()),
                                  std::string(c.name) + " byte " + std::to_string(at) + " round " + std::to_string(round));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Decoders, Decoding, testing::Values(&InflateRaw, &InflateFast, &InflateFastPlain),
                         [](const testing::TestParamInfo<Decoder>& info) {
                             return info.param == &InflateRaw ? "Reference" : info.param == &InflateFast ? "Fast" : "FastPlain";
                         });

}  // namespace
