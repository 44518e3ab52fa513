// Archives whose bytes lie where views of a package are easy to get wrong:
// an entry ending at the file's last byte, data starting at a chosen offset
// (a view boundary), a central directory larger than one view.
#pragma once

#include <string>

#include "zip_builder.h"

// A local header for a stored entry followed by its data, as bytes.
inline std::string LocalRecord(const std::string& name, const std::string& data, uint16_t extraLength) {
    std::string out("PK\x03\x04\x14\x00\x00\x08\x00\x00\x00\x00\x00\x00", 14);
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
    };
    put32(Crc32(reinterpret_cast<const uint8_t*>(data.data()), data.size()));
    put32(static_cast<uint32_t>(data.size()));
    put32(static_cast<uint32_t>(data.size()));
    out.push_back(static_cast<char>(name.size()));
    out.push_back(static_cast<char>(name.size() >> 8));
    out.push_back(static_cast<char>(extraLength));
    out.push_back(static_cast<char>(extraLength >> 8));
    return out + name + data;
}

// "first.txt", then a stored "tail.txt" whose local header and data are the
// archive comment, so they end where the file ends. The central directory
// declares declared bytes for it; chop cuts bytes off the local record's end;
// extraLength is claimed in the local header with no bytes behind it.
inline std::string ArchiveEndingInAnEntry(const std::string& data, uint32_t declared, size_t chop = 0,
                                          uint16_t extraLength = 0) {
    ZipBuilder zip;
    zip.Add("first.txt", "kept");
    zip.Add("tail.txt", data);
    zip.entries[1].compressedSize = zip.entries[1].uncompressedSize = declared;
    std::string local = LocalRecord("tail.txt", data, extraLength);
    local.resize(local.size() - chop);
    zip.comment = local;
    zip.entries[1].localOffset = 0;
    zip.entries[1].localOffset = static_cast<uint32_t>(zip.Build().size() - local.size());
    return zip.Build();
}

// One entry "at.bin" whose data starts at exactly dataStart (at least 36):
// a self-extractor stub fills the space before its local header.
inline std::string ArchiveWithDataAt(size_t dataStart, const std::string& data, uint16_t method = 0) {
    ZipBuilder zip;
    zip.prefix = std::string(dataStart - 30 - 6, 'S');
    zip.Add("at.bin", data, method);
    return zip.Build();
}

// count stored entries "eNN.bin" of dataSize bytes each, every one with a
// central comment of commentSize bytes: count * commentSize past one view
// makes the walk read the directory in steps.
inline ZipBuilder ArchiveWithLargeDirectory(int count, size_t commentSize, size_t dataSize) {
    ZipBuilder zip;
    for (int i = 0; i < count; ++i) {
        std::string name = "e" + std::to_string(100 + i).substr(1) + ".bin";
        zip.Add(name, std::string(dataSize, static_cast<char>('a' + i % 26))).comment = std::string(commentSize, 'c');
    }
    return zip;
}
