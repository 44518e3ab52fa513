#include "catalog/sha256_win.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "base/handles_win.h"
#include "base/wide_win.h"

bool Sha256Stream::Begin() {
    size_ = 0;
    hash_.reset();
    if (!algorithm_ && BCryptOpenAlgorithmProvider(algorithm_.receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) {
        return false;
    }
    DWORD objectLength = 0, got = 0;
    if (BCryptGetProperty(algorithm_.get(), BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                          sizeof(objectLength), &got, 0) < 0) {
        return false;
    }
    object_.assign(objectLength, 0);
    return BCryptCreateHash(algorithm_.get(), hash_.receive(), object_.data(), objectLength, nullptr, 0, 0) >= 0;
}

bool Sha256Stream::Add(const void* data, size_t size) {
    const UCHAR* bytes = static_cast<const UCHAR*>(data);
    size_ += size;
    while (size > 0) {
        ULONG piece = static_cast<ULONG>(std::min<size_t>(size, 1u << 30));
        if (BCryptHashData(hash_.get(), const_cast<PUCHAR>(bytes), piece, 0) < 0) return false;
        bytes += piece;
        size -= piece;
    }
    return true;
}

bool Sha256Stream::Finish(WideBuffer& hex) {
    UCHAR digest[32];
    if (!hash_ || BCryptFinishHash(hash_.get(), digest, sizeof(digest), 0) < 0) return false;
    hash_.reset();
    std::string text = HexLower(digest, sizeof(digest));
    hex.assign(text.begin(), text.end());
    return true;
}

bool HashBytesSha256(const void* data, size_t size, WideBuffer& hex) {
    Sha256Stream stream;
    return stream.Begin() && stream.Add(data, size) && stream.Finish(hex);
}

bool HashFileSha256(std::u16string_view path, WideBuffer& hex, uint64_t* size) {
    UniqueHandle file(CreateFileW(W(WideBuffer(path)), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && HashOpenFileSha256(file.get(), hex, size);
}

bool HashOpenFileSha256(HANDLE file, WideBuffer& hex, uint64_t* size) {
    LARGE_INTEGER fileSize, start = {};
    if (!GetFileSizeEx(file, &fileSize) || !SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
    Sha256Stream stream;
    if (!stream.Begin()) return false;
    std::vector<UCHAR> buffer(65536);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
        if (read == 0) break;
        if (!stream.Add(buffer.data(), read)) return false;
    }
    if (!stream.Finish(hex)) return false;
    if (size) *size = static_cast<uint64_t>(fileSize.QuadPart);
    return true;
}
