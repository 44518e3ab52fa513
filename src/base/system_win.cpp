#include "base/system_win.h"

#include <shlobj.h>

#include <vector>

#include "base/handles_win.h"
#include "base/text_format.h"
#include "base/wide_win.h"

void FormatSystemError(WideBuffer& buf, std::u16string_view prefix, DWORD code) {
    buf.assign(prefix);
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    UniqueLocalMemory owner(text);
    WideBuffer systemText;
    if (n != 0 && text) systemText.assign(U(text), n);
    TextFormat(buf, u"（错误 %u）%s", static_cast<uint32_t>(code), systemText);
}

bool ReadEnvironmentVariable(const wchar_t* name, size_t capacity, WideBuffer& value) {
    std::vector<wchar_t> buffer(capacity);
    DWORD n = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(capacity));
    if (n == 0 || n >= capacity) return false;
    value.assign(U(buffer.data()), n);
    return true;
}

bool WindowsFolder(WideBuffer& folder) {
    std::vector<wchar_t> buffer(32768);
    UINT n = GetWindowsDirectoryW(buffer.data(), 32768);
    if (n == 0 || n >= 32768) return false;
    folder.assign(U(buffer.data()), n);
    return true;
}

BOOL WINAPI IsWow64ProcessIfPresent(HANDLE process, PBOOL wow64) {
    // Looked up at run time: older systems lack it, and then there is no WOW64.
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto query = kernel ? reinterpret_cast<IsWow64ProcessFn>(
                              reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")))
                        : nullptr;
    *wow64 = FALSE;
    return query ? query(process, wow64) : TRUE;
}

bool NativeSystemFolder(WideBuffer& folder) {
    WideBuffer windows;
    if (!WindowsFolder(windows)) return false;
    BOOL wow64 = FALSE;
    if (!IsWow64ProcessIfPresent(GetCurrentProcess(), &wow64)) wow64 = FALSE;
    PathJoin(folder, windows, wow64 ? u"Sysnative" : u"System32");
    return true;
}

bool DesktopFolder(WideBuffer& folder) {
    wchar_t buffer[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, buffer))) return false;
    folder = U(buffer);
    return true;
}

bool IsCancelled(HANDLE event) {
    return event != nullptr && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}
