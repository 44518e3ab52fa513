// The text rules every path this elevated program acts on must pass: relative
// names from packages stay inside their folder and name no device, install
// roots are dedicated folders, product folders are direct children of the
// root. The questions asked of the disk live in path_safety_win.
#pragma once

#include <vector>

#include "base/text.h"

// The two texts are equal ignoring case the way the system's invariant locale
// does (so not only A-Z); used for "lies below" tests and device names.
bool PathTextEqualNoCase(std::u16string_view a, std::u16string_view b);

// path lies below folder: longer, a "\" right after folder's length, and that
// prefix equal ignoring case. A folder with a trailing "\" contains nothing.
bool IsStrictlyUnder(std::u16string_view folder, std::u16string_view path);

// CON, PRN, AUX, NUL, COM1-9, LPT1-9 as the part before the first ".".
bool IsDeviceName(std::u16string_view segment);

// Steps of SafeJoinRelative that need no disk: refuses a leading separator, ":"
// or control characters, empty segments, segments ending in "." or " ", and
// device names; otherwise joined = folder + "\" + rel.
bool JoinRelativeText(std::u16string_view folder, std::u16string_view rel, WideBuffer& joined);

// Control characters and "*/:<>?\| become "_"; trailing dots and spaces go.
WideBuffer SanitizeFolderName(std::u16string_view name);

// The characters a user-given install root may not hold (": " only at index 1).
bool InstallRootCharactersAllowed(std::u16string_view path);

// The folder names of a user-given root must not end in "." or " ": the
// system would silently drop those characters from the last one, so "D:\Apps."
// would quietly become "D:\Apps".
// "." and ".." segments are allowed: the full path resolves them.
bool InstallRootSegmentsAllowed(std::u16string_view path);

// A full path's trailing backslashes removed while it is longer than 3 (so
// "D:\" keeps its backslash).
WideBuffer TrimTrailingBackslashes(std::u16string_view fullPath);

// The prefixes whose attributes HasNoReparsePoint checks: each one ending
// before a "\" at index 3 or later, then the whole path (when 3 or longer).
std::vector<WideBuffer> ReparseCheckPrefixes(std::u16string_view path);

// dir has no "\" after the root's length plus one: a direct child.
bool IsDirectChildShape(std::u16string_view fullRoot, std::u16string_view fullDir);
