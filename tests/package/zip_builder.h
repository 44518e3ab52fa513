// Builds ZIP archives byte by byte for tests, including broken and hostile
// ones: every header field can be overridden.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "package/crc32.h"

struct ZipBuilderEntry {
    std::string name;  // raw name bytes
    std::string data;  // uncompressed content
    uint16_t method = 0;
    uint16_t flags = 0x800;  // UTF-8 names unless a test says otherwise
    uint32_t externalAttributes = 0;
    std::string extra;
    std::string comment;
    std::optional<uint32_t> crc, compressedSize, uncompressedSize, localOffset;
    std::optional<std::string> compressed;  // raw DEFLATE to store instead of our own encoding
    bool descriptor = false;                // append a data descriptor (flag bit 3)
};

class ZipBuilder {
public:
    std::vector<ZipBuilderEntry> entries;
    std::string comment;
    std::string prefix;  // bytes before the archive (a self-extractor stub)
    std::optional<uint16_t> disk, cdDisk, count;
    std::optional<uint32_t> cdOffset;
    std::optional<uint16_t> commentLength;

    ZipBuilderEntry& Add(std::string name, std::string data, uint16_t method = 0) {
        entries.push_back({});
        entries.back().name = std::move(name);
        entries.back().data = std::move(data);
        entries.back().method = method;
        return entries.back();
    }

    // Raw DEFLATE of data as one fixed-Huffman block of literals: valid input
    // for any decoder, and needs no compression library.
    static std::string FixedLiterals(const std::string& data) {
        std::string out;
        uint32_t bits = 0, count = 0;
        auto put = [&](uint32_t value, int n) {
            for (int i = 0; i < n; ++i) {
                bits |= ((value >> i) & 1u) << count;
                if (++count == 8) {
                    out.push_back(static_cast<char>(bits));
                    bits = count = 0;
                }
            }
        };
        auto code = [&](uint32_t c, int n) {
            for (int i = n - 1; i >= 0; --i) put((c >> i) & 1u, 1);
        };
        put(1, 1);
        put(1, 2);
        for (unsigned char c : data) {
            if (c < 144) code(0x30 + c, 8);
            else code(0x190 + c - 144, 9);
        }
        code(0, 7);  // end of block
        if (count) out.push_back(static_cast<char>(bits));
        return out;
    }

    std::string Build() const {
        std::string out = prefix;
        std::vector<uint32_t> offsets;
        std::vector<std::string> packed;
        for (const ZipBuilderEntry& e : entries) {
            std::string body = e.compressed ? *e.compressed : (e.method == 8 ? FixedLiterals(e.data) : e.data);
            packed.push_back(body);
            offsets.push_back(static_cast<uint32_t>(out.size()));  // offsets count from the file's start
            uint32_t crc = e.crc ? *e.crc : Crc32(reinterpret_cast<const uint8_t*>(e.data.data()), e.data.size());
            Put32(out, 0x04034B50);
            Put16(out, 20);
            Put16(out, static_cast<uint16_t>(e.flags | (e.descriptor ? 8 : 0)));
            Put16(out, e.method);
            Put32(out, 0);
            // With a descriptor the local sizes are zero; only the central directory counts.
            Put32(out, e.descriptor ? 0 : crc);
            Put32(out, e.descriptor ? 0 : static_cast<uint32_t>(body.size()));
            Put32(out, e.descriptor ? 0 : static_cast<uint32_t>(e.data.size()));
            Put16(out, static_cast<uint16_t>(e.name.size()));
            Put16(out, static_cast<uint16_t>(e.extra.size()));
            out += e.name + e.extra + body;
            if (e.descriptor) {
                Put32(out, 0x08074B50);
                Put32(out, crc);
                Put32(out, static_cast<uint32_t>(body.size()));
                Put32(out, static_cast<uint32_t>(e.data.size()));
            }
        }
        uint32_t centralStart = static_cast<uint32_t>(out.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            const ZipBuilderEntry& e = entries[i];
            uint32_t crc = e.crc ? *e.crc : Crc32(reinterpret_cast<const uint8_t*>(e.data.data()), e.data.size());
            Put32(out, 0x02014B50);
            Put16(out, 20);
            Put16(out, 20);
            Put16(out, static_cast<uint16_t>(e.flags | (e.descriptor ? 8 : 0)));
            Put16(out, e.method);
            Put32(out, 0);
            Put32(out, crc);
            Put32(out, e.compressedSize ? *e.compressedSize : static_cast<uint32_t>(packed[i].size()));
            Put32(out, e.uncompressedSize ? *e.uncompressedSize : static_cast<uint32_t>(e.data.size()));
            Put16(out, static_cast<uint16_t>(e.name.size()));
            Put16(out, static_cast<uint16_t>(e.extra.size()));
            Put16(out, static_cast<uint16_t>(e.comment.size()));
            Put16(out, 0);
            Put16(out, 0);
            Put32(out, e.externalAttributes);
            Put32(out, e.localOffset ? *e.localOffset : offsets[i]);
            out += e.name + e.extra + e.comment;
        }
        uint32_t centralSize = static_cast<uint32_t>(out.size()) - centralStart;
        Put32(out, 0x06054B50);
        Put16(out, disk ? *disk : 0);
        Put16(out, cdDisk ? *cdDisk : 0);
        Put16(out, count ? *count : static_cast<uint16_t>(entries.size()));
        Put16(out, count ? *count : static_cast<uint16_t>(entries.size()));
        Put32(out, centralSize);
        Put32(out, cdOffset ? *cdOffset : centralStart);
        Put16(out, commentLength ? *commentLength : static_cast<uint16_t>(comment.size()));
        out += comment;
        return out;
    }

private:
    static void Put16(std::string& out, uint16_t v) {
        out.push_back(static_cast<char>(v & 0xFF));
        out.push_back(static_cast<char>(v >> 8));
    }
    static void Put32(std::string& out, uint32_t v) {
        Put16(out, static_cast<uint16_t>(v & 0xFFFF));
        Put16(out, static_cast<uint16_t>(v >> 16));
    }
};
