#include "engine/shortcut.h"

#include "package/path_rules.h"

const char16_t kStagedShortcutName[] = u"shortcut.lnk";

WideBuffer DesktopLinkName(std::u16string_view pucName) { return SanitizeFolderName(pucName) + u".lnk"; }
