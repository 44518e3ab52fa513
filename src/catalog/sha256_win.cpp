#include "catalog/sha256_win.h"

#include <windows.h>

#include <vector>

#include "base/handles_win.h"
#include "base/wide_win.h"

bool HashFileSha256(std::u16string_view path, WideBuffer& hex, uint64_t* size) {
    UniqueHandle file(CreateFileW(W(WideBuffer(path)), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && HashOpenFileSha256(file.get(), hex, size);
}

bool HashOpenFileSha256(HANDLE file, WideBuffer& hex, uint64_t* size) {
    LARGE_INTEGER fileSize, start = {};
    if (!GetFileSizeEx(file, &fileSize) || !SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;

    UniqueAlgorithm algorithm;
    if (BCryptOpenAlgorithmProvider(algorithm.receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) return false;
    DWORD objectLength = 0, got = 0;
    if (BCryptGetProperty(algorithm.get(), BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                          sizeof(objectLength), &got, 0) < 0) {
        return false;
    }
    std::vector<UCHAR> object(objectLength);
    std::vector<UCHAR> buffer(65536);
    UniqueHash hash;
    if (BCryptCreateHash(algorithm.get(), hash.receive(), object.data(), objectLength, nullptr, 0, 0) < 0) {
        return false;
    }
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
        if (read == 0) break;
        if (BCryptHashData(hash.get(), buffer.data(), read, 0) < 0) return false;
    }
    UCHAR digest[32];
    if (BCryptFinishHash(hash.get(), digest, sizeof(digest), 0) < 0) return false;
    std::string text = HexLower(digest, sizeof(digest));
    hex.assign(text.begin(), text.end());
    if (size) *size = static_cast<uint64_t>(fileSize.QuadPart);
    return true;
}
