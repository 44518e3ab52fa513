// The install log file. Each line opens, appends and closes the file, so other
// programs can read it at any time and a crash never loses earlier lines.
// Append-data access keeps every write at the end; write sharing lets a second
// copy of the program log at the same moment instead of dropping its line.
// Threads of this process take turns: not every file system (Wine's among them)
// makes an append atomic, and two lines written at once could overlap.
#include "base/log.h"

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/system_win.h"
#include "base/wide_win.h"

#include <mutex>

std::vector<WideBuffer>& CapturedLogLines() {
    static std::vector<WideBuffer> none;
    return none;
}

bool InstallLogPath(WideBuffer& path) {
    WideBuffer root, folder;
    if (!ReadEnvironmentVariable(L"LOCALAPPDATA", 260, root)) return false;
    PathJoin(folder, root, u"TwParcelwright\\logs");
    if (!CreateDirectoryTree(folder)) return false;
    PathJoin(path, folder, u"install.log");
    return true;
}

void AppendLogLine(std::u16string_view message) {
    SYSTEMTIME st;
    GetLocalTime(&st);
    LocalTime t{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
    std::string bytes = ComposeLogLine(t, message);

    static std::mutex turn;
    std::lock_guard<std::mutex> hold(turn);
    WideBuffer path;
    if (!InstallLogPath(path)) return;
    UniqueHandle file(CreateFileW(W(path), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    // No seek to the end: an append-only handle writes there by itself, and
    // an explicit seek would reopen the race between two writers (Wine honours it).
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
