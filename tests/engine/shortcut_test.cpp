#include "engine/shortcut.h"

#include <gtest/gtest.h>

namespace {

TEST(DesktopLinkName, UnsafeCharactersBecomeUnderscores) {
    struct Case { const char16_t* name; const char16_t* link; };
    const Case cases[] = {
        {u"Tarnwick 工具箱", u"Tarnwick 工具箱.lnk"},
        {u"A/B\\C:D*E?F\"G<H>I|J", u"A_B_C_D_E_F_G_H_I_J.lnk"},
        {u"tab\there\x01", u"tab_here_.lnk"},
        {u"Tool 2.0. . ", u"Tool 2.0.lnk"},  // trailing dots and spaces would be dropped by the system
        {u"..\\..\\evil", u".._.._evil.lnk"},
    };
    for (const Case& c : cases) EXPECT_EQ(DesktopLinkName(c.name), c.link) << WideToUtf8(c.name);
}

}  // namespace
