// What the product list's painter measures, shared with its tests.
#pragma once

#include <windows.h>

#include "base/text.h"

// The width of a row's badge text in the list's small font, measured on dc.
int32_t BadgeLabelWidth(HDC dc, const WideBuffer& label);
