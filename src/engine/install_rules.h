// The install flow's decisions that need no system: the product filter of a
// locked installer and how a failed extraction is classified for the report.
#pragma once

#include <cstdint>

#include "base/text.h"
#include "package/package_format.h"

// With a filter (not 0), only the product whose number is exactly the
// filter's decimal text may be processed ("0012" is not 12).
bool OutsideProductFilter(uint32_t filter, std::u16string_view pucType);

// The failure kind of a failed extract-and-deploy attempt: for a ZIP package
// or a message naming the extraction, 3 when the main program was missing,
// else 4; any other failure keeps the kind it had.
uint32_t ClassifyDeployFailure(PackageFormat format, std::u16string_view lastError, uint32_t currentKind);
