// Appending one line to an attempt's ledger (ledger.log in its work folder).
// Its own file because deploying, rolling back and crash recovery all write
// the ledger, and recovery must not depend on the deploying code to do it.
#pragma once

#include <windows.h>

#include <string_view>

#include "base/handles_win.h"
#include "package/transaction.h"

// Opens path for appending, never through a link: a reparse point on the way
// or a second name (a planted hard link) would carry the bytes into a file
// elsewhere. Shares reading only, so nobody replaces or renames it while open.
bool OpenAppendOnly(const WideBuffer& path, DWORD disposition, UniqueHandle& file);

// Keeps the ledger open for the transaction's life, so that a line costs one
// write; without it every line opens and closes the file.
bool KeepLedgerOpen(InstallTransaction& transaction);

void AppendLedgerLine(const InstallTransaction& transaction, std::u16string_view kind, std::u16string_view path);
