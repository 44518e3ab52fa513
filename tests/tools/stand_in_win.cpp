// A stand-in for the outside programs the installer starts (7z.exe, Rar.exe,
// product installers, self-extractors). It appends its command line to
// "<own path>.args" and follows "<own path>.script", one command per line:
//   print TEXT        write TEXT and a line end to standard output
//   cat FILE          copy FILE to standard output
//   write FILE TEXT   create FILE (and its folders) holding TEXT
//   sleep MS          wait
//   exit CODE         end with CODE (the default is 0)
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

void Append(const std::string& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out << text;
}

}  // namespace

int main() {
    std::string self = OwnPath();
    // The command line as UTF-8, exactly as received.
    const wchar_t* line = GetCommandLineW();
    int n = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, line, -1, &utf8[0], n, nullptr, nullptr);
    Append(self + ".args", utf8 + "\n");

    std::ifstream script(self + ".script");
    std::string command;
    int code = 0;
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
        } else if (verb == "sleep") {
            Sleep(static_cast<DWORD>(std::atoi(rest.c_str())));
        } else if (verb == "exit") {
            code = std::atoi(rest.c_str());
        }
    }
    return code;
}
