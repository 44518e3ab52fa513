// A fresh folder under the Wine prefix's temp folder for one test, removed with
// everything in it when the test ends.
#pragma once

#include <windows.h>

#include <string>

#include "base/file_win.h"
#include "base/text.h"
#include "base/wide_win.h"

// The Unix path of a Windows path (Wine's own export), or "" outside Wine.
inline std::string UnixPathOf(const WideBuffer& path) {
    using UnixNameFn = char*(CDECL*)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(W(path)) : nullptr;
    if (!name) return "";
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Starts a program of the Unix side (Wine runs ELF files, but gives no exit
// code for them, so callers check the result on disk).
inline bool StartUnixCommand(std::string command) {
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    if (pi.hProcess) CloseHandle(pi.hProcess);
    if (pi.hThread) CloseHandle(pi.hThread);
    return true;
}

inline bool WaitForAttributes(const WideBuffer& path, bool exists) {
    for (int i = 0; i < 100; ++i) {
        if ((GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES) == exists) return true;
        Sleep(20);
    }
    return false;
}

// Wine cannot make junctions or symbolic links itself, but a Unix symbolic link
// to a folder shows as a directory reparse point. True when link now exists.
// Both paths must be ASCII: the command line reaches ln in the Unix locale.
inline bool MakeUnixSymlink(const WideBuffer& target, const WideBuffer& link) {
    std::string unixTarget = UnixPathOf(target), unixLink = UnixPathOf(link);
    if (unixTarget.empty() || unixLink.empty()) return false;
    return StartUnixCommand("Z:\\bin\\ln -s \"" + unixTarget + "\" \"" + unixLink + "\"") &&
           WaitForAttributes(link, true);
}

// Removes a link (never what it points to); Wine's own calls cannot.
inline void RemoveLink(const WideBuffer& link) {
    if (DeleteFileW(W(link)) || RemoveDirectoryW(W(link))) return;
    std::string unixLink = UnixPathOf(link);
    if (!unixLink.empty() && StartUnixCommand("Z:\\bin\\rm -f \"" + unixLink + "\"")) {
        WaitForAttributes(link, false);
    }
}

inline void RemoveTree(const WideBuffer& path) {
    WIN32_FIND_DATAW data;
    WideBuffer pattern = path + u"\\*";
    HANDLE find = FindFirstFileW(W(pattern), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::u16string name = U(data.cFileName);
            if (name == u"." || name == u"..") continue;
            WideBuffer child = path + u"\\" + name;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveTree(child);
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                RemoveLink(child);  // the link itself, never what it points to
            } else {
                SetFileAttributesW(W(child), FILE_ATTRIBUTE_NORMAL);
                if (!DeleteFileW(W(child))) RemoveLink(child);  // a link whose target is gone
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(W(path));
}

// Sets (or, with null, removes) an environment variable of this process for
// one test, and puts the old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const char16_t* value) : name_(name) {
        wchar_t old[1024];
        DWORD n = GetEnvironmentVariableW(name, old, 1024);
        had_ = n > 0 && n < 1024;
        if (had_) old_ = U(old);
        SetEnvironmentVariableW(name, value ? W(value) : nullptr);
    }
    ~ScopedEnvironment() { SetEnvironmentVariableW(name_, had_ ? W(old_) : nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const wchar_t* name_;
    bool had_ = false;
    WideBuffer old_;
};

class TestFolder {
public:
    TestFolder() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path_ = U(temp);
        path_ += u"tw_test_" + Number(GetCurrentProcessId()) + u"_" + Number(++counter_);
        RemoveTree(path_);
        CreateDirectoryW(W(path_), nullptr);
    }
    ~TestFolder() {
        RemoveTree(path_);
        // A link whose target is already gone is invisible to the folder walk;
        // rm does not follow links, so it removes only what lies in here.
        std::string unixPath = UnixPathOf(path_);
        if (FileExists(path_) && unixPath.find("/tw_test_") != std::string::npos &&
            StartUnixCommand("Z:\\bin\\rm -rf \"" + unixPath + "\"")) {
            WaitForAttributes(path_, false);
        }
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const WideBuffer& path() const { return path_; }
    WideBuffer operator/(std::u16string_view name) const { return path_ + u"\\" + WideBuffer(name); }

private:
    static std::u16string Number(unsigned long n) {
        std::string s = std::to_string(n);
        return std::u16string(s.begin(), s.end());
    }
    static inline int counter_ = 0;
    WideBuffer path_;
};
