// Closing the programs that hold a product's file open, after asking the user.
// Only processes whose program provably lies inside the product folder are
// ever offered or ended.
#pragma once

#include <windows.h>

#include "catalog/product.h"

// path is in its full form, lies strictly below folder, and every component of
// path from the first folder after the drive root exists and is no reparse point.
bool IsOwnedPath(std::u16string_view folder, std::u16string_view path);

// Offers to end the processes running from deploy_dir because busy_file is in
// use (the box is owned by owner, which may be null). True only when the user
// agreed and every one of them ended within the time limit.
bool ResolveFilesInUse(const ProductEntry& product, HWND owner);

// Ends one process; TerminateProcess unless a test puts here one that leaves
// it running (Wine always ends a terminated process).
extern BOOL(WINAPI* g_endProcess)(HANDLE process, UINT exitCode);
