#include "startup/command_line_win.h"

#include <windows.h>
#include <shellapi.h>

#include "base/file_win.h"
#include "base/wide_win.h"
#include "startup/command_line.h"

void ReadExecutableName() {
    WideBuffer path;
    if (ModulePath(path)) ApplyExecutableName(g_app, path);
}

bool ParseCommandLine() {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return false;
    std::vector<WideBuffer> arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(U(argv[i]));
    LocalFree(argv);

    switch (ApplyArguments(g_app, arguments)) {
    case CommandLineResult::kStart:
        return true;
    case CommandLineResult::kHelp:
        MessageBoxW(nullptr, W(kUsageText), W(kProgramCaption), MB_OK | MB_ICONINFORMATION);
        return false;
    case CommandLineResult::kInvalid:
        MessageBoxW(nullptr, W(kInvalidArgumentsText), W(kProgramCaption), MB_OK | MB_ICONERROR);
        return false;
    }
    return false;
}
