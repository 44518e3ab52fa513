// Appending one line to an attempt's ledger (ledger.log in its work folder).
// Its own file because deploying, rolling back and crash recovery all write
// the ledger, and recovery must not depend on the deploying code to do it.
#pragma once

#include <string_view>

#include "package/transaction.h"

void AppendLedgerLine(const InstallTransaction& transaction, std::u16string_view kind, std::u16string_view path);
