// Programs a test starts and must not leave behind: started with a kept
// handle, waited for by polling a condition with a bound, and ended when the
// test ends however it ends.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <functional>
#include <vector>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/wide_win.h"

// Polls condition every 10 ms for up to limitMs; true as soon as it holds.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD limitMs = 20000) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= limitMs) return false;
        Sleep(10);
    }
}

// Another process holds path open without sharing.
inline bool IsHeldElsewhere(const WideBuffer& path) {
    UniqueHandle probe(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !probe && GetLastError() == ERROR_SHARING_VIOLATION;
}

inline bool IsRunning(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

// The processes whose program lies below folder (text test, ASCII case
// ignored), opened to be ended and waited for.
inline std::vector<UniqueHandle> ProcessesUnder(const WideBuffer& folder) {
    std::vector<UniqueHandle> found;
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    std::vector<wchar_t> image(32768);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                         entry.th32ProcessID));
        DWORD size = 32768;
        if (!process || !QueryFullProcessImageNameW(process.get(), 0, image.data(), &size)) continue;
        WideBuffer path(U(image.data()), size);
        if (path.size() > folder.size() && path[folder.size()] == u'\\' &&
            EqualsNoCase(std::u16string_view(path).substr(0, folder.size()), folder) && IsRunning(process.get())) {
            found.push_back(std::move(process));
        }
    }
    return found;
}

// For programs a test did not start itself (through the shell).
inline void EndProcessesUnder(const WideBuffer& folder) {
    for (UniqueHandle& process : ProcessesUnder(folder)) {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 10000);
    }
}

class RunningPrograms {
public:
    RunningPrograms() = default;
    RunningPrograms(const RunningPrograms&) = delete;
    RunningPrograms& operator=(const RunningPrograms&) = delete;
    ~RunningPrograms() {
        for (UniqueHandle& process : processes_) {
            TerminateProcess(process.get(), 1);
            WaitForSingleObject(process.get(), 10000);
        }
    }
    // Starts program in its own folder; null when it could not be started.
    HANDLE Start(const WideBuffer& program) {
        WideBuffer commandLine = u"\"" + program + u"\"";
        WideBuffer folder = program.substr(0, program.rfind(u'\\'));
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (!CreateProcessW(W(program), W(&commandLine[0]), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                            W(folder), &startup, &info)) {
            return nullptr;
        }
        CloseHandle(info.hThread);
        processes_.emplace_back(info.hProcess);
        return info.hProcess;
    }
    // Starts program and waits until it holds file, which its script opens.
    HANDLE StartHolding(const WideBuffer& program, const WideBuffer& file) {
        HANDLE process = Start(program);
        if (!process || !WaitUntil([&] { return IsHeldElsewhere(file) || !IsRunning(process); }) ||
            !IsRunning(process)) {
            return nullptr;
        }
        return process;
    }

private:
    std::vector<UniqueHandle> processes_;
};
