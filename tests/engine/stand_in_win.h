// Places the stand-in program where a test needs an outside program, gives it
// a script, and reads back the command lines it received.
#pragma once

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "base/file_win.h"
#include "base/wide_win.h"
#include "engine/child_process_win.h"

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

// Two named events for a stand-in's script: it sets "started" once it runs
// ("signal") and goes on only when the test opens the gate ("await"). Both
// exist before the stand-in starts, so neither side can miss the other.
class StandInGate {
public:
    explicit StandInGate(const std::string& label) {
        static int count = 0;
        std::string base = "tw-gate-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count) + "-" +
                           label;
        startedName_ = base + "-started";
        goName_ = base + "-go";
        started_ = CreateEventA(nullptr, TRUE, FALSE, startedName_.c_str());
        go_ = CreateEventA(nullptr, TRUE, FALSE, goName_.c_str());
    }
    // Never leaves a stand-in waiting, whatever the test did.
    ~StandInGate() {
        SetEvent(go_);
        CloseHandle(go_);
        CloseHandle(started_);
    }
    StandInGate(const StandInGate&) = delete;
    StandInGate& operator=(const StandInGate&) = delete;
    // Script lines: say it runs, then wait for the gate.
    std::string Script() const { return "signal " + startedName_ + "\nawait " + goName_ + "\n"; }
    // A bound only against a stand-in that never comes; it normally starts at once.
    bool WaitStarted() const { return WaitForSingleObject(started_, 60000) == WAIT_OBJECT_0; }
    void Open() const { SetEvent(go_); }

private:
    std::string startedName_, goName_;
    HANDLE started_ = nullptr, go_ = nullptr;
};

// What someone else could do to a file right now, each tried through an open
// of its own: write it, rename it (undone when it worked), delete it (only
// tried when asked, and not undone).
struct FileAccess {
    bool write = false, rename = false, remove = false;
    bool operator==(const FileAccess& o) const { return write == o.write && rename == o.rename && remove == o.remove; }
};

inline FileAccess TryToChange(const WideBuffer& path, bool tryDelete) {
    FileAccess access;
    HANDLE writer = CreateFileW(W(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    access.write = writer != INVALID_HANDLE_VALUE;
    if (access.write) CloseHandle(writer);
    const WideBuffer moved = path + u".moved";
    access.rename = MoveFileExW(W(path), W(moved), 0) != FALSE;
    if (access.rename) MoveFileExW(W(moved), W(path), 0);
    access.remove = tryDelete && DeleteFileW(W(path)) != FALSE;
    return access;
}

inline std::ostream& operator<<(std::ostream& out, const FileAccess& a) {
    return out << "{write " << a.write << ", rename " << a.rename << ", delete " << a.remove << "}";
}

// An error none of the calls around a run gives, so a text naming it names the
// exit-code read.
constexpr DWORD kUnreadableExitCodeError = ERROR_NOT_ENOUGH_QUOTA;

// Wine always reads an exit code; while this lives, reading one fails.
struct UnreadableExitCodes {
    UnreadableExitCodes() { g_readExitCode = Fail; }
    ~UnreadableExitCodes() { g_readExitCode = GetExitCodeProcess; }
    UnreadableExitCodes(const UnreadableExitCodes&) = delete;
    UnreadableExitCodes& operator=(const UnreadableExitCodes&) = delete;
    static BOOL WINAPI Fail(HANDLE, LPDWORD) {
        SetLastError(kUnreadableExitCodeError);
        return FALSE;
    }
};
