// Windows versions as the catalog names them ("win7" ... "winserver"), the
// classification of the system's version record, and the rules by which a
// product's list of supported systems admits the running one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/text.h"

enum WindowsVersionCode : int32_t {
    kWindowsUnknown = 0,
    kWindows7 = 1,
    kWindows8 = 2,
    kWindows81 = 3,
    kWindows10 = 4,
    kWindows11 = 5,
    kWindowsServer = 6,
};

// productType 1 is a workstation; anything else is a server edition.
WindowsVersionCode ClassifyWindowsVersion(uint32_t major, uint32_t minor, uint32_t build,
                                          uint32_t productType);

const char16_t* WindowsVersionName(WindowsVersionCode code);
WindowsVersionCode OsTokenCode(std::u16string_view token);

// Reads the next token of a "win10,win11" list (ASCII or fullwidth commas),
// blanks trimmed; position moves past the separator. False at the end.
bool NextOsToken(std::u16string_view list, size_t& position, WideBuffer& token);

bool IsOsSupported(std::u16string_view list, WindowsVersionCode running);

// "支持系统：..." followed by the running system's line.
void DescribeSupportedSystems(std::u16string_view list, WindowsVersionCode running, WideBuffer& out);
