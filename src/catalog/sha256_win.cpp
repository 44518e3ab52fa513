#include "catalog/sha256_win.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "base/handles_win.h"
#include "base/wide_win.h"

bool Sha256Stream::Begin() {
    hash_ = Sha256();
    size_ = 0;
    begun_ = true;
    return true;
}

bool Sha256Stream::Add(const void* data, size_t size) {
    if (!begun_) return false;
    hash_.Add(data, size);
    size_ += size;
    return true;
}

bool Sha256Stream::Finish(WideBuffer& hex) {
    if (!begun_) return false;
    begun_ = false;
    uint8_t digest[32];
    hash_.Finish(digest);
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
