// A fresh folder under the Wine prefix's temp folder for one test, removed with
// everything in it when the test ends.
#pragma once

#include <windows.h>

#include <string>

#include "base/text.h"
#include "base/wide_win.h"

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
            } else {
                SetFileAttributesW(W(child), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(W(child));
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(W(path));
}

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
    ~TestFolder() { RemoveTree(path_); }
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
