// A stand-in for the outside programs the installer starts (7z.exe, Rar.exe,
// product installers, self-extractors, DISM). It appends its command line to
// "<own path>.args" and its working folder to "<own path>.cwd", and follows
// "<own path>.script" (or, when there is none, the file named by the
// environment variable TW_STAND_IN_SCRIPT, for copies made where a test cannot
// place a script beforehand), one command per line:
//   print TEXT        write TEXT and a line end to standard output
//   cat FILE          copy FILE to standard output
//   write FILE TEXT   create FILE (and its folders) holding TEXT
//   clone FILE        copy this program to FILE (and create its folders)
//   sleep MS          wait
//   wait FILE         wait until FILE exists (at most a minute)
//   hold FILE         open FILE (creating it) without sharing; once the script
//                     ends, keep running until ended from outside
//   signal NAME       set the named event NAME, to tell a test it has got
//                     this far (the test creates the event before the start)
//   await NAME        wait until the named event NAME is set (at most a
//                     minute), the test's word to go on
//   exit CODE         end with CODE, 0 to 4294967295 (the default is 0)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string OwnPath() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n);
}

void MakeParents(const std::string& file) {
    for (size_t i = 3; i < file.size(); ++i) {
        if (file[i] == '\\' || file[i] == '/') CreateDirectoryA(file.substr(0, i).c_str(), nullptr);
    }
}

std::wstring OwnPathWide() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

// Wide paths: a copy installed in a folder with Chinese letters still records.
void Append(const std::wstring& file, const std::string& text) {
    std::ofstream out(file.c_str(), std::ios::binary | std::ios::app);
    out << text;
}

std::string Utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], n, nullptr, nullptr);
    return utf8;
}

}  // namespace

int main() {
    std::string self = OwnPath();
    const std::wstring selfWide = OwnPathWide();
    // The command line and working folder as UTF-8, exactly as received.
    Append(selfWide + L".args", Utf8(GetCommandLineW()) + "\n");
    wchar_t folder[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, folder);
    Append(selfWide + L".cwd", Utf8(folder) + "\n");

    std::ifstream script((selfWide + L".script").c_str());
    char fallback[MAX_PATH];
    DWORD fallbackLength = GetEnvironmentVariableA("TW_STAND_IN_SCRIPT", fallback, MAX_PATH);
    if (!script && fallbackLength > 0 && fallbackLength < MAX_PATH) script.open(fallback);
    std::string command;
    unsigned long code = 0;
    bool holding = false;
    while (std::getline(script, command)) {
        if (!command.empty() && command.back() == '\r') command.pop_back();
        std::istringstream words(command);
        std::string verb;
        words >> verb;
        std::string rest;
        std::getline(words, rest);
        if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
        if (verb == "print") {
            std::printf("%s\n", rest.c_str());
            std::fflush(stdout);
        } else if (verb == "cat") {
            std::ifstream in(rest, std::ios::binary);
            std::ostringstream content;
            content << in.rdbuf();
            std::fwrite(content.str().data(), 1, content.str().size(), stdout);
            std::fflush(stdout);
        } else if (verb == "write") {
            size_t space = rest.find(' ');
            std::string file = rest.substr(0, space);
            MakeParents(file);
            std::ofstream out(file, std::ios::binary);
            out << (space == std::string::npos ? "" : rest.substr(space + 1));
        } else if (verb == "clone") {
            MakeParents(rest);
            CopyFileA(self.c_str(), rest.c_str(), FALSE);
        } else if (verb == "wait") {
            for (int i = 0; i < 6000 && GetFileAttributesA(rest.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(10);
        } else if (verb == "sleep") {
            Sleep(static_cast<DWORD>(std::atoi(rest.c_str())));
        } else if (verb == "hold") {
            MakeParents(rest);
            // Deliberately never closed: the process's end releases it. A test
            // probing whether the file is held yet may have it open for a
            // moment, so a sharing violation is tried again.
            HANDLE held = INVALID_HANDLE_VALUE;
            for (int i = 0; i < 500 && held == INVALID_HANDLE_VALUE; ++i) {
                held = CreateFileA(rest.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
                if (held == INVALID_HANDLE_VALUE && GetLastError() != ERROR_SHARING_VIOLATION) break;
                if (held == INVALID_HANDLE_VALUE) Sleep(10);
            }
            holding |= held != INVALID_HANDLE_VALUE;
        } else if (verb == "signal" || verb == "await") {
            // Manual-reset, as the test makes them: a set stays seen.
            HANDLE event = CreateEventA(nullptr, TRUE, FALSE, rest.c_str());
            if (verb == "signal") {
                SetEvent(event);
            } else {
                WaitForSingleObject(event, 60000);
            }
            CloseHandle(event);
        } else if (verb == "exit") {
            code = std::strtoul(rest.c_str(), nullptr, 10);
        }
    }
    if (holding) Sleep(INFINITE);
    return static_cast<int>(static_cast<unsigned>(code));
}
