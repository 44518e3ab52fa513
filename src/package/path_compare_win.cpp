// The system's invariant-locale, case-ignoring comparison, so that "lies
// below" agrees with how the file system itself matches names.
#include <windows.h>

#include "base/wide_win.h"
#include "package/path_rules.h"

bool PathTextEqualNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, W(a.data()), static_cast<int>(a.size()), W(b.data()),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}
