// Small questions asked of the system: error texts and the cancel signal.
#pragma once

#include <windows.h>

#include "base/text.h"

// buf = prefix + "（错误 <code>）<system text for code>"; the system text is
// kept as the system wrote it, line break included, and is empty when the
// system has none.
void FormatSystemError(WideBuffer& buf, std::u16string_view prefix, DWORD code);

// True when event is not null and signalled; never waits.
bool IsCancelled(HANDLE event);
