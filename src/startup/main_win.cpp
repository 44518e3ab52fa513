// Process entry of tw_setup.exe.
#include <windows.h>

#include "startup/command_line_win.h"
#include "startup/run_ui_win.h"

namespace {

void SetDpiAwareness() {
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto setContext = user32 ? reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
                                   GetProcAddress(user32, "SetProcessDpiAwarenessContext")))
                             : nullptr;
    // -4 is the per-monitor-aware (version 2) context.
    if (setContext) setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));
    else SetProcessDPIAware();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    SetDpiAwareness();
    ReadExecutableName();
    if (!ParseCommandLine()) ExitProcess(2);
    ExitProcess(static_cast<UINT>(RunUserInterface(instance)));
    return 0;
}
