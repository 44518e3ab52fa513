// The install log file. Each line opens, appends and closes the file, so other
// programs can read it at any time and a crash never loses earlier lines. Write
// sharing lets two threads (or two copies of the program) log at the same
// moment without one line being dropped; append-data access keeps every write
// at the end, so their lines never overwrite each other.
#include "base/log.h"

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/wide_win.h"

std::vector<WideBuffer>& CapturedLogLines() {
    static std::vector<WideBuffer> none;
    return none;
}

bool InstallLogPath(WideBuffer& path) {
    wchar_t root[260];
    DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", root, 260);
    if (n == 0 || n >= 260) return false;
    WideBuffer folder;
    PathJoin(folder, U(root), u"TwParcelwright\\logs");
    if (!CreateDirectoryTree(folder)) return false;
    PathJoin(path, folder, u"install.log");
    return true;
}

void AppendLogLine(std::u16string_view message) {
    SYSTEMTIME st;
    GetLocalTime(&st);
    LocalTime t{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
    std::string bytes = ComposeLogLine(t, message);

    WideBuffer path;
    if (!InstallLogPath(path)) return;
    UniqueHandle file(CreateFileW(W(path), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    SetFilePointer(file.get(), 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
