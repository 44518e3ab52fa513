#include "base/file.h"

#include <gtest/gtest.h>

namespace {

TEST(DirectoryTreePrefixes, NeverTheDriveAlone) {
    struct Case { const char16_t* path; std::vector<WideBuffer> expected; };
    const Case cases[] = {
        {u"C:\\a\\b\\c", {u"C:\\a", u"C:\\a\\b", u"C:\\a\\b\\c"}},
        {u"C:/a/b", {u"C:/a", u"C:/a/b"}},
        {u"C:\\a\\", {u"C:\\a", u"C:\\a\\"}},
        {u"C:\\", {u"C:\\"}},
        // UNC: "\" and "\\server" are tried and fail harmlessly.
        {u"\\\\server\\share\\x", {u"\\", u"\\\\server", u"\\\\server\\share", u"\\\\server\\share\\x"}},
        {u"rel\\dir", {u"rel", u"rel\\dir"}},
        {u"\\x", {u"\\x"}},  // a separator at position 0 is skipped
        {u"", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(DirectoryTreePrefixes(c.path), c.expected) << WideToUtf8(c.path);
}

}  // namespace
