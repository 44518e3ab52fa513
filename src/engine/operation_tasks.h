// The decisions of the operation tasks that need no system: which rows a run
// covers, which folders the Defender step asks to exclude and in what order,
// and the texts the run shows.
#pragma once

#include <cstdint>
#include <vector>

#include "base/text.h"
#include "catalog/product.h"

// rowFilter 0 or more: that row only; -2: failed rows only; other negative
// values: every row. Always only selected products.
bool InScope(const ProductEntry& product, int32_t row, int32_t rowFilter);

// The folder root of a product in scope: its recorded root when installed.
WideBuffer ProductRoot(const ProductEntry& product, std::u16string_view installRoot);

// The Defender warning box's text around the collected errors.
WideBuffer DefenderWarningText(std::u16string_view errors);
