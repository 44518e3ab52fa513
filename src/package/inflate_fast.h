// The decoder extraction uses: table-driven, a word of input at a time, and
// for every input exactly what InflateRaw returns (result code, output and
// produced count). InflateRaw stays as the reference it is tested against.
#pragma once

#include <cstdint>

#include "package/inflate.h"

int InflateFast(const uint8_t* input, uint32_t inputLength, uint8_t* output, uint32_t outputCapacity,
                uint32_t* produced);

// Where the processor has BMI2 its build of the inner loop runs, else the
// plain one. Tests force either (false when BMI2 is asked for and missing).
bool InflateFastUseBmi2(bool use);
