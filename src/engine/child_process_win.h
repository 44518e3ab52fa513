// Starting other programs: hidden helper tools that can be cancelled, and a
// product's own installer shown to the user and waited for.
#pragma once

#include <windows.h>

#include "base/handles_win.h"
#include "base/log.h"
#include "catalog/product.h"

// Reads a finished process's exit code; GetExitCodeProcess unless a test puts
// a failing reader here (Wine never fails to read one).
extern BOOL(WINAPI* g_readExitCode)(HANDLE process, LPDWORD code);

// Runs program hidden with "\"program\" arguments"; with an output file its
// standard output and error go there. True when it ran to its end and its exit
// code could be read; false otherwise, with the failing call's error as the
// last error. The exit code is stored whenever it started (0 when unreadable).
// Cancelling terminates it with 1223.
bool RunChildProcess(std::u16string_view program, std::u16string_view arguments, std::u16string_view workingFolder,
                     const char16_t* outputFile, HANDLE cancelEvent, DWORD* exitCode);

// The App Paths registration of a program file name, when it names an
// existing file reached through no link.
bool FindAppPath(std::u16string_view fileName, WideBuffer& path);

// Runs the package as an installer and finds the installed main program. A
// handle that keeps the package from changing is released once the installer
// has ended (or failed to start), never while it runs.
bool RunInstaller(ProductEntry& product, StatusCallback callback, void* context, UniqueHandle* heldPackage = nullptr);
