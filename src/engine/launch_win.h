// Starting an installed product's main program for the user, only while it is
// still the very file that was installed.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "base/log.h"
#include "catalog/product.h"

// Checks main_program_path against the hash and size the transaction recorded,
// then asks the shell to start it with run_arguments in its own folder and
// does not wait for it. The file is held against writing and deletion from
// before the check until the shell call has returned. A failure is recorded
// on the product and reported.
bool OpenInstalledProgram(ProductEntry& product, StatusCallback callback, void* context);

// The shell call that starts the main program; ShellExecuteExW unless a test
// puts one here that looks at the file while the call is made.
extern BOOL(WINAPI* g_startMainProgram)(SHELLEXECUTEINFOW* execute);
