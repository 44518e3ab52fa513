#include "prereq/detect_win.h"

#include <vector>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/system_win.h"
#include "base/wide_win.h"
#include "base/windows_version_win.h"
#include "prereq/prerequisites.h"

namespace {

const REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

// Calls read(key) for the key opened in the 32-bit view, then the 64-bit view,
// until one read succeeds.
template <typename Read>
bool ReadInEitherView(HKEY root, const char16_t* subKey, Read read) {
    for (REGSAM view : kViews) {
        UniqueRegKey key;
        if (RegOpenKeyExW(root, W(subKey), 0, KEY_READ | view, key.receive()) != ERROR_SUCCESS) continue;
        if (read(key.get())) return true;
    }
    return false;
}

bool DwordEquals(const char16_t* subKey, const char16_t* name, DWORD wanted) {
    DWORD value = 0;
    return ReadRegistryDword(HKEY_LOCAL_MACHINE, subKey, name, value) && value == wanted;
}

bool DotNetReleaseAtLeast(DWORD release) {
    DWORD value = 0;
    return ReadRegistryDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full",
                             u"Release", value) &&
           value >= release;
}

bool VisualCppInstalled(const char16_t* version, const char16_t* architecture, bool checkVersion) {
    WideBuffer key = VisualCppRuntimeKey(version, architecture);
    if (!DwordEquals(key.c_str(), u"Installed", 1)) return false;
    if (!checkVersion) return true;
    WideBuffer text;
    return ReadRegistryString(HKEY_LOCAL_MACHINE, key.c_str(), u"Version", text, 128) &&
           VersionAtLeast(text, 14, 20, 27508);
}

// A real folder named 8.* below the desktop runtime's shared folder.
bool DesktopRuntime8In(const wchar_t* variable) {
    WideBuffer root;
    if (!ReadEnvironmentVariable(variable, 32768, root)) return false;
    WideBuffer shared;
    PathJoin(shared, root, u"dotnet\\shared\\Microsoft.WindowsDesktop.App");
    WIN32_FIND_DATAW data;
    UniqueFindHandle find = ListFolder(shared, u"8.*", data);
    if (!find) return false;
    do {
        DWORD a = data.dwFileAttributes;
        if ((a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    } while (FindNextFileW(find.get(), &data));
    return false;
}

bool DirectXFilesIn(const WideBuffer& folder) {
    static const char16_t* const kFiles[] = {u"d3dx9_43.dll",  u"d3dx10_43.dll",  u"d3dx11_43.dll",
                                             u"XAudio2_7.dll", u"XInput1_3.dll", u"D3DCompiler_43.dll"};
    for (const char16_t* file : kFiles) {
        WideBuffer path;
        PathJoin(path, folder, file);
        if (!FileExists(path)) return false;
    }
    return true;
}

bool DirectXPresent() {
    WideBuffer windows, folder;
    if (!WindowsFolder(windows)) return false;
    if (!IsWindows64Bit()) {
        PathJoin(folder, windows, u"System32");
        return DirectXFilesIn(folder);
    }
    // A 32-bit process sees the native system folder as Sysnative.
    PathJoin(folder, windows, u"SysWOW64");
    if (!DirectXFilesIn(folder)) return false;
    PathJoin(folder, windows, u"Sysnative");
    return DirectXFilesIn(folder);
}

bool WebView2Version(HKEY root) {
    WideBuffer version;
    return ReadRegistryString(root,
                              u"SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}",
                              u"pv", version, 128) &&
           !version.empty() && version != u"0.0.0.0";
}

}  // namespace

bool ReadRegistryDword(HKEY root, const char16_t* subKey, const char16_t* valueName, DWORD& value) {
    return ReadInEitherView(root, subKey, [&](HKEY key) {
        DWORD type = 0, data = 0, size = sizeof(data);
        if (RegQueryValueExW(key, W(valueName), nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD || size != 4) {
            return false;
        }
        value = data;
        return true;
    });
}

bool ReadRegistryString(HKEY root, const char16_t* subKey, const char16_t* valueName, WideBuffer& value,
                        size_t capacity) {
    if (capacity == 0) return false;
    return ReadInEitherView(root, subKey, [&](HKEY key) {
        std::vector<wchar_t> buffer(capacity, L'\0');
        DWORD type = 0, size = static_cast<DWORD>(capacity * sizeof(wchar_t));
        if (RegQueryValueExW(key, W(valueName), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
                ERROR_SUCCESS ||
            type != REG_SZ || size < 2) {
            return false;
        }
        buffer[capacity - 1] = L'\0';
        value = U(buffer.data());
        return true;
    });
}

bool IsWindows64Bit() {
    SYSTEM_INFO info;
    GetNativeSystemInfo(&info);
    WORD a = info.wProcessorArchitecture;
    return a == PROCESSOR_ARCHITECTURE_AMD64 || a == PROCESSOR_ARCHITECTURE_IA64 || a == 12 /* ARM64 */;
}

uint32_t WindowsBuildNumber() {
    OSVERSIONINFOEXW info;
    return ReadKernelVersion(info) ? info.dwBuildNumber : 0;
}

bool IsPrerequisitePresent(int row) {
    switch (row) {
    case 0: return DwordEquals(u"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v3.5", u"Install", 1);
    case 1: return DotNetReleaseAtLeast(528040);
    case 2: return DotNetReleaseAtLeast(533320);
    case 3: return DesktopRuntime8In(L"ProgramFiles");
    case 4: return IsWindows64Bit() && DesktopRuntime8In(L"ProgramW6432");
    case 5: return VisualCppInstalled(u"10.0", u"x86", false);
    case 6: return IsWindows64Bit() && VisualCppInstalled(u"10.0", u"x64", false);
    case 7: return VisualCppInstalled(u"12.0", u"x86", false);
    case 8: return IsWindows64Bit() && VisualCppInstalled(u"12.0", u"x64", false);
    case 9: return VisualCppInstalled(u"14.0", u"x86", true);
    case 10: return IsWindows64Bit() && VisualCppInstalled(u"14.0", u"x64", true);
    case 11: return WebView2Version(HKEY_LOCAL_MACHINE) || WebView2Version(HKEY_CURRENT_USER);
    case 12: return DirectXPresent();
    default: return false;
    }
}
