// Test helpers for swapping a held folder for a link at the moment between the
// check and the use, and for proving that a folder outside stayed as it was.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "base/file_win.h"
#include "base/test_folder_win.h"
#include "package/held_path_win.h"

// A file's content, or "<missing>".
inline std::string Read(const WideBuffer& path) {
    ByteBuffer bytes;
    if (!ReadWholeFile(path, bytes)) return "<missing>";
    return std::string(bytes.begin(), bytes.end());
}

// Writes text to path, making its folders.
inline void Write(const WideBuffer& path, const std::string& text) {
    ASSERT_TRUE(CreateDirectoryTree(path.substr(0, path.rfind(u'\\'))));
    ASSERT_TRUE(WriteWholeFile(path, text.data(), text.size()));
}

// Every file below folder with its content, by relative name.
inline void SnapshotInto(std::map<std::u16string, std::string>& files, const WideBuffer& folder,
                         const std::u16string& prefix = u"") {
    WIN32_FIND_DATAW data;
    WideBuffer pattern = folder + u"\\*";
    HANDLE find = FindFirstFileW(W(pattern), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::u16string name = U(data.cFileName);
        if (name == u"." || name == u"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            files[prefix + name + u"\\"] = "<folder>";
            SnapshotInto(files, folder + u"\\" + name, prefix + name + u"\\");
        } else {
            ByteBuffer bytes;
            files[prefix + name] = ReadWholeFile(folder + u"\\" + name, bytes) ? std::string(bytes.begin(), bytes.end())
                                                                               : std::string("<unreadable>");
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

inline std::map<std::u16string, std::string> Snapshot(const WideBuffer& folder) {
    std::map<std::u16string, std::string> files;
    SnapshotInto(files, folder);
    return files;
}

// A folder outside the product with files of its own, which nothing may touch.
struct Victim {
    TestFolder folder;
    std::map<std::u16string, std::string> before;
    Victim() {
        WriteWholeFile(folder / u"app.exe", "victim app", 10);
        WriteWholeFile(folder / u"a.dll", "victim dll", 10);
        CreateDirectoryW(W(folder / u"inner"), nullptr);
        WriteWholeFile(folder / u"inner\\app.exe", "victim inner", 12);
        before = Snapshot(folder.path());
    }
    bool Unchanged() const { return Snapshot(folder.path()) == before; }
};

// Installs a hook for one test. When the hook sees swapAt, it first tries to
// rename the folder `folder` the Windows way (refused while held: error 32 is
// recorded in renameError), then does it the Unix way, which Wine cannot stop,
// and puts a link to the victim in its place.
struct SwapAtUse {
    WideBuffer swapAt, folder, target;
    int skip = 0;  // calls for swapAt to let pass first
    DWORD renameError = 0;
    bool swapped = false;
    bool linked = false;  // the link is in place: the swap really happened

    SwapAtUse(WideBuffer at, WideBuffer swapFolder, WideBuffer linkTarget, int skipCalls = 0)
        : swapAt(std::move(at)), folder(std::move(swapFolder)), target(std::move(linkTarget)), skip(skipCalls) {
        SetHeldPathHook(Hook, this);
    }
    ~SwapAtUse() { SetHeldPathHook(nullptr, nullptr); }
    SwapAtUse(const SwapAtUse&) = delete;
    SwapAtUse& operator=(const SwapAtUse&) = delete;

    static DWORD Hook(const WideBuffer& path, void* context) {
        auto* self = static_cast<SwapAtUse*>(context);
        if (self->swapped || !EqualsNoCase(path, self->swapAt) || self->skip-- > 0) return 0;
        self->swapped = true;
        WideBuffer moved = self->folder + u".moved";
        if (MoveFileExW(W(self->folder), W(moved), 0)) {
            self->renameError = 0;
        } else {
            self->renameError = GetLastError();
            StartUnixCommand("Z:\\bin\\mv \"" + UnixPathOf(self->folder) + "\" \"" + UnixPathOf(moved) + "\"");
            // mv runs on its own; a loaded machine may take a while.
            for (int i = 0; i < 10 && !WaitForAttributes(moved, true); ++i) {
            }
        }
        MakeUnixSymlink(self->target, self->folder);
        for (int i = 0; i < 10 && !WaitForAttributes(self->folder, true); ++i) {
        }
        DWORD attributes = GetFileAttributesW(W(self->folder));
        self->linked = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        return 0;
    }
};

// Fails HoldFile for one path with a staged error, from the n-th call on.
struct StagedError {
    WideBuffer path;
    DWORD error;
    int skip;
    StagedError(WideBuffer at, DWORD err, int skipCalls = 0) : path(std::move(at)), error(err), skip(skipCalls) {
        SetHeldPathHook(Hook, this);
    }
    ~StagedError() { SetHeldPathHook(nullptr, nullptr); }
    StagedError(const StagedError&) = delete;
    StagedError& operator=(const StagedError&) = delete;
    static DWORD Hook(const WideBuffer& path, void* context) {
        auto* self = static_cast<StagedError*>(context);
        if (!EqualsNoCase(path, self->path) || self->skip-- > 0) return 0;
        return self->error;
    }
};
