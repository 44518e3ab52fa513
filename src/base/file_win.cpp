#include "base/file_win.h"

#include <algorithm>

#include "base/handles_win.h"
#include "base/memory.h"
#include "base/wide_win.h"

bool FileExists(const WideBuffer& path) {
    return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES;
}

bool DirectoryExists(const WideBuffer& path) {
    DWORD attributes = GetFileAttributesW(W(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDirectoryTree(const WideBuffer& path) {
    if (path.empty()) return false;
    if (DirectoryExists(path)) return true;
    // The reason given is that of the first creation that failed, not of
    // the check; only existing names in the way leave "already exists".
    DWORD error = ERROR_SUCCESS;
    for (const WideBuffer& prefix : DirectoryTreePrefixes(path)) {
        if (CreateDirectoryW(W(prefix), nullptr)) continue;
        DWORD failed = GetLastError();
        if (error == ERROR_SUCCESS || error == ERROR_ALREADY_EXISTS) error = failed;
    }
    if (error == ERROR_SUCCESS) error = ERROR_PATH_NOT_FOUND;
    if (DirectoryExists(path)) return true;
    SetLastError(error);
    return false;
}

bool ReadWholeFile(const WideBuffer& path, ByteBuffer& bytes) {
    bytes.clear();
    UniqueHandle file(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size)) return false;
    if (size.QuadPart < 1 || static_cast<uint64_t>(size.QuadPart) > kMaxWholeFileSize) return false;
    // Up to 512 MiB in a 32-bit process: no memory is a failure, not a crash.
    if (!TryResize(bytes, static_cast<size_t>(size.QuadPart))) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24));
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes.data() + done, chunk, &got, nullptr) || got == 0) {
            bytes.clear();
            bytes.shrink_to_fit();
            return false;
        }
        done += got;
    }
    return true;
}

namespace {

bool WriteAll(HANDLE file, const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < n) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(n - done, 1 << 24));
        DWORD wrote = 0;
        if (!WriteFile(file, p + done, chunk, &wrote, nullptr) || wrote == 0) return false;
        done += wrote;
    }
    return true;
}

}  // namespace

bool WriteWholeFile(const WideBuffer& path, const void* data, size_t n) {
    UniqueHandle file(CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && WriteAll(file.get(), data, n);
}

bool DeleteIfPresent(const WideBuffer& path) {
    if (DeleteFileW(W(path))) return true;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool WriteFreshFile(const WideBuffer& path, const void* data, size_t n) {
    if (!DeleteIfPresent(path)) return false;
    UniqueHandle file(CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && WriteAll(file.get(), data, n);
}

uint64_t FileSize(const WideBuffer& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(W(path), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

UniqueFindHandle ListFolder(std::u16string_view folder, std::u16string_view pattern, WIN32_FIND_DATAW& data) {
    WideBuffer search;
    PathJoin(search, folder, pattern);
    return UniqueFindHandle(FindFirstFileW(W(search), &data));
}

bool IsDotEntry(const WIN32_FIND_DATAW& data) {
    std::u16string_view name = U(data.cFileName);
    return name == u"." || name == u"..";
}

bool ModulePath(WideBuffer& path) {
    wchar_t buffer[519];
    DWORD n = GetModuleFileNameW(nullptr, buffer, 519);
    if (n == 0 || n > 518) return false;
    path.assign(U(buffer), n);
    return true;
}
