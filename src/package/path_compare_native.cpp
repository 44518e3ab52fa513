// Linux build: the invariant-locale comparison folds ASCII letters only here;
// the Windows build asks the system (path_compare_win.cpp).
#include "package/path_rules.h"

bool PathTextEqualNoCase(std::u16string_view a, std::u16string_view b) { return EqualsNoCase(a, b); }
