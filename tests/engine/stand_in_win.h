// Places the stand-in program where a test needs an outside program, gives it
// a script, and reads back the command lines it received.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/file_win.h"
#include "base/wide_win.h"

class StandIn {
public:
    // Copies the stand-in to path and gives it script (see stand_in_win.cpp).
    StandIn(const WideBuffer& path, const std::string& script) : path_(path) {
        WideBuffer source = u"Z:" + Utf8ToWide(TW_STAND_IN_EXE);
        for (char16_t& c : source) {
            if (c == u'/') c = u'\\';
        }
        CreateDirectoryTree(path.substr(0, path.rfind(u'\\')));
        CopyFileW(W(source), W(path), FALSE);
        SetScript(script);
    }
    void SetScript(const std::string& script) { WriteWholeFile(path_ + u".script", script.data(), script.size()); }
    const WideBuffer& path() const { return path_; }
    // Each command line it was started with, as UTF-8.
    std::vector<std::string> Calls() const { return Lines(u".args"); }
    // The working folder of each start, as UTF-8.
    std::vector<std::string> Folders() const { return Lines(u".cwd"); }

private:
    std::vector<std::string> Lines(const char16_t* suffix) const {
        std::vector<std::string> calls;
        ByteBuffer bytes;
        if (!ReadWholeFile(path_ + suffix, bytes)) return calls;
        std::string text(bytes.begin(), bytes.end());
        size_t start = 0, end;
        while ((end = text.find('\n', start)) != std::string::npos) {
            calls.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return calls;
    }

    WideBuffer path_;
};
