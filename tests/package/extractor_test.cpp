#include "package/extractor.h"

#include <gtest/gtest.h>

#include "package/path_rules.h"

namespace {

bool TextJoin(std::u16string_view destination, std::u16string_view name, WideBuffer& target) {
    return JoinRelativeText(destination, name, target) && IsStrictlyUnder(destination, target);
}

bool Check(const std::string& listing, bool is7zip) {
    return CheckArchiveListing(reinterpret_cast<const uint8_t*>(listing.data()), listing.size(), u"D:\\R\\unpacked",
                               is7zip, TextJoin);
}

const std::string k7zHead =
    "7-Zip 23.01 (x64)\r\n\r\nListing archive: D:\\R\\package.bin\r\n\r\n--\r\nPath = D:\\R\\package.bin\r\n"
    "Type = 7z\r\n\r\n----------\r\n";

TEST(CheckArchiveListing, SevenZip) {
    EXPECT_TRUE(Check(k7zHead + "Path = bin\\app.exe\r\nSize = 10\r\n\r\nPath = 说明.txt\r\n", true));
    EXPECT_TRUE(Check(k7zHead, true));  // no entries
    EXPECT_TRUE(Check("", true));
    // The archive's own "Path = " line with its drive letter comes before the separator.
    EXPECT_TRUE(Check("Path = C:\\elsewhere\\x.7z\n----------\nPath = a.txt\n", true));
    EXPECT_FALSE(Check(k7zHead + "Path = ..\\evil.dll\r\n", true));
    EXPECT_FALSE(Check(k7zHead + "Path = a\\..\\..\\evil.dll\n", true));
    EXPECT_FALSE(Check(k7zHead + "Path = con\n", true));
    EXPECT_FALSE(Check(k7zHead + "Path = link\nSymbolic Link = C:\\Windows\n", true));
    EXPECT_TRUE(Check(k7zHead + "Path = plain\nSymbolic Link = \n", true));  // empty link field trims to the label
    EXPECT_FALSE(Check(k7zHead + "Path = h\nHard Link = other\n", true));
    EXPECT_TRUE(Check(k7zHead + "Path = h\nHard Link =   \r\n", true));
    EXPECT_FALSE(Check(std::string("----------\0Path = ../x", 22), true));  // NUL ends lines too
    EXPECT_TRUE(Check("---------\nPath = ../not-yet-in-the-list\n", true));  // nine dashes are no separator
}

TEST(CheckArchiveListing, WinRar) {
    EXPECT_TRUE(Check("bin\\app.exe\r\n\r\nreadme.txt\r\n", false));
    EXPECT_FALSE(Check("ok.txt\r\n..\\evil.txt\r\n", false));
    EXPECT_FALSE(Check("C:\\Windows\\evil.dll\n", false));
    EXPECT_TRUE(Check("", false));
    EXPECT_TRUE(Check("name with trailing blanks   \r\n", false));  // trimmed before the check
    EXPECT_FALSE(Check("ok.txt\r\n..\\last-line-without-end", false));
    EXPECT_TRUE(Check(" \r\n\r \n", false));  // blank once trimmed
}

// Only these go to 7-Zip, WinRAR or the package itself; anything else run as a
// self-extractor would be an arbitrary program started with extractor arguments.
TEST(IsExternalArchiveFormat, OnlyRarSevenZipAndTheirSelfExtractors) {
    for (PackageFormat f : {kFormatRar, kFormat7z, kFormatRarSfx, kFormat7zSfx}) EXPECT_TRUE(IsExternalArchiveFormat(f));
    for (PackageFormat f : {kFormatUnknown, kFormatZip, kFormatExe, static_cast<PackageFormat>(7),
                            static_cast<PackageFormat>(-1)}) {
        EXPECT_FALSE(IsExternalArchiveFormat(f)) << f;
    }
}

TEST(ExtractorArguments, CommandLines) {
    EXPECT_EQ(ListArguments(true, u"D:\\R\\w\\package.bin"), u"l -slt -sccUTF-8 -- \"D:\\R\\w\\package.bin\"");
    EXPECT_EQ(ListArguments(false, u"D:\\R\\w\\package.bin"), u"lb -c- -- \"D:\\R\\w\\package.bin\"");
    EXPECT_EQ(ExtractArguments(true, u"D:\\p.bin", u"D:\\R\\unpacked"),
              u"x -y -aoa -sccUTF-8 \"-oD:\\R\\unpacked\" -- \"D:\\p.bin\"");
    // WinRAR gets the destination with a backslash, doubled before the quote.
    EXPECT_EQ(ExtractArguments(false, u"D:\\p.bin", u"D:\\R\\temp_setup\\1-2-3\\unpacked"),
              u"x -y -o+ -idq -- \"D:\\p.bin\" \"D:\\R\\temp_setup\\1-2-3\\unpacked\\\\\"");
    EXPECT_EQ(SelfExtractArguments(kFormatRarSfx, u"D:\\R\\unpacked"), u"-s \"-dD:\\R\\unpacked\"");
    EXPECT_EQ(SelfExtractArguments(kFormat7zSfx, u"D:\\R\\unpacked"), u"-y \"-oD:\\R\\unpacked\"");
}

}  // namespace
