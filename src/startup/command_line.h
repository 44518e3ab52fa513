// The rules for the command line and for the program's own file name. They
// work on plain text so they can be tested without Windows; command_line_win
// reads the real values and shows the boxes.
#pragma once

#include <cstdint>
#include <vector>

#include "base/text.h"
#include "startup/app_state.h"

// One or more digits only, value 1..2147483646 (leading zeros allowed).
bool ParseProductNumber(std::u16string_view text, uint32_t& value);

// Sets productFilter/productLocked ("tw_setup_o<n>[.exe]") or preferredProduct
// ("tw_setup_<n>[.exe]") from the executable's full path; anything else
// changes nothing.
void ApplyExecutableName(AppState& app, std::u16string_view modulePath);

enum class CommandLineResult { kStart, kHelp, kInvalid };

// arguments excludes the program itself.
CommandLineResult ApplyArguments(AppState& app, const std::vector<WideBuffer>& arguments);

extern const char16_t kProgramCaption[];
extern const char16_t kUsageText[];
extern const char16_t kInvalidArgumentsText[];
