#include "package/extractor_win.h"

#include <gtest/gtest.h>

#include <memory>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/test_folder_win.h"
#include "engine/stand_in_win.h"
#include "package/transaction.h"

namespace {

// Program folders of a test: ProgramFiles, ProgramW6432 and ProgramFiles(x86)
// all point into the test folder, and the search path finds nothing extra.
struct Extractors {
    TestFolder folder;
    WideBuffer pf = folder / u"pf", pw = folder / u"pw", px = folder / u"px";
    ScopedEnvironment a{L"ProgramFiles", pf.c_str()};
    ScopedEnvironment b{L"ProgramW6432", pw.c_str()};
    ScopedEnvironment c{L"ProgramFiles(x86)", px.c_str()};
    ScopedEnvironment path{L"PATH", (folder / u"bin").c_str()};
    InstallTransaction t;
    ProductEntry product;
    WideBuffer staging = folder / u"w\\unpacked";

    Extractors() {
        t.work_folder = folder / u"w";
        t.ledger_path = t.work_folder + u"\\ledger.log";
        CreateDirectoryTree(staging);
        product.package_path = t.work_folder + u"\\package.bin";
        WriteWholeFile(product.package_path, "archive", 7);
    }
};

TEST(FindExtractor, SearchOrder) {
    Extractors e;
    WideBuffer found;
    EXPECT_FALSE(FindExtractor(u"7-Zip", u"7z.exe", found));
    StandIn onPath(e.folder / u"bin\\7z.exe", "");
    ASSERT_TRUE(FindExtractor(u"7-Zip", u"7z.exe", found));
    EXPECT_TRUE(EqualsNoCase(found, onPath.path()));
    StandIn x86(e.px + u"\\7-Zip\\7z.exe", "");
    ASSERT_TRUE(FindExtractor(u"7-Zip", u"7z.exe", found));
    EXPECT_EQ(found, x86.path());
    StandIn w6432(e.pw + u"\\7-Zip\\7z.exe", "");
    ASSERT_TRUE(FindExtractor(u"7-Zip", u"7z.exe", found));
    EXPECT_EQ(found, w6432.path());
    StandIn first(e.pf + u"\\7-Zip\\7z.exe", "");
    ASSERT_TRUE(FindExtractor(u"7-Zip", u"7z.exe", found));
    EXPECT_EQ(found, first.path());
}

TEST(RunExternalExtractor, SevenZipListsChecksThenExtracts) {
    Extractors e;
    std::string listing = "Path = " + WideToUtf8(e.product.package_path) + "\n----------\nPath = bin\\app.exe\n";
    WriteWholeFile(e.folder / u"listing.txt", listing.data(), listing.size());
    StandIn sevenZip(e.pf + u"\\7-Zip\\7z.exe",
                     "cat " + WideToUtf8(e.folder / u"listing.txt") + "\nwrite " + WideToUtf8(e.staging) + "\\bin\\app.exe x\n");
    ASSERT_TRUE(RunExternalExtractor(e.product, e.t, e.staging, kFormat7z, nullptr)) << WideToUtf8(e.product.last_error);
    std::vector<std::string> calls = sevenZip.Calls();
    ASSERT_EQ(calls.size(), 2u);
    std::string exe = "\"" + WideToUtf8(sevenZip.path()) + "\" ";
    std::string package = WideToUtf8(e.product.package_path), staging = WideToUtf8(e.staging);
    EXPECT_EQ(calls[0], exe + "l -slt -sccUTF-8 -- \"" + package + "\"");
    EXPECT_EQ(calls[1], exe + "x -y -aoa -sccUTF-8 \"-o" + staging + "\" -- \"" + package + "\"");
    EXPECT_NE(FindLedgerEntry(e.t, e.t.work_folder + u"\\extract.log"), nullptr);
}

TEST(RunExternalExtractor, UnsafeListingStopsBeforeExtraction) {
    const char* listings[] = {"----------\nPath = ..\\evil.dll\n", "----------\nPath = l\nSymbolic Link = C:\\x\n"};
    for (const char* listing : listings) {
        Extractors e;
        WriteWholeFile(e.folder / u"listing.txt", listing, strlen(listing));
        StandIn sevenZip(e.pf + u"\\7-Zip\\7z.exe", "cat " + WideToUtf8(e.folder / u"listing.txt") + "\n");
        EXPECT_FALSE(RunExternalExtractor(e.product, e.t, e.staging, kFormatRar, nullptr));
        EXPECT_EQ(sevenZip.Calls().size(), 1u);  // listed only
        EXPECT_EQ(e.product.last_error, u"解压失败，退出码 0。安装包可能损坏、路径不安全，或自解压格式不支持当前参数。");
    }
}

TEST(RunExternalExtractor, WinRarOnlyForRar) {
    {
        Extractors e;
        StandIn rar(e.pf + u"\\WinRAR\\Rar.exe", "print bin\\app.exe\n");
        ASSERT_TRUE(RunExternalExtractor(e.product, e.t, e.staging, kFormatRar, nullptr));
        std::vector<std::string> calls = rar.Calls();
        ASSERT_EQ(calls.size(), 2u);
        std::string exe = "\"" + WideToUtf8(rar.path()) + "\" ";
        std::string package = WideToUtf8(e.product.package_path), staging = WideToUtf8(e.staging);
        EXPECT_EQ(calls[0], exe + "lb -c- -- \"" + package + "\"");
        EXPECT_EQ(calls[1], exe + "x -y -o+ -idq -- \"" + package + "\" \"" + staging + "\\\\\"");
    }
    {
        Extractors e;
        StandIn rar(e.pf + u"\\WinRAR\\Rar.exe", "");
        EXPECT_FALSE(RunExternalExtractor(e.product, e.t, e.staging, kFormat7z, nullptr));
        EXPECT_EQ(e.product.last_error, u"未找到7Z解压软件，请安装7-Zip后重试。");
        EXPECT_TRUE(rar.Calls().empty());
    }
    {
        Extractors e;
        EXPECT_FALSE(RunExternalExtractor(e.product, e.t, e.staging, kFormatRar, nullptr));
        EXPECT_EQ(e.product.last_error, u"未找到RAR解压软件，请安装7-Zip或WinRAR后重试。");
    }
}

TEST(RunExternalExtractor, FailedRunsCarryTheExitCode) {
    Extractors e;
    StandIn sevenZip(e.pf + u"\\7-Zip\\7z.exe", "exit 2\n");
    EXPECT_FALSE(RunExternalExtractor(e.product, e.t, e.staging, kFormat7z, nullptr));
    EXPECT_EQ(e.product.last_error, u"解压失败，退出码 2。安装包可能损坏、路径不安全，或自解压格式不支持当前参数。");
}

// A listing or extraction whose exit code cannot be read proved nothing: the
// extraction fails as one that did not run to its end.
TEST(RunExternalExtractor, AnUnreadableExitCodeIsAFailedRun) {
    for (bool selfExtractor : {false, true}) {
        SCOPED_TRACE(selfExtractor);
        Extractors e;
        std::unique_ptr<StandIn> tool;
        if (selfExtractor) {
            e.product.package_path = e.t.work_folder + u"\\package.exe";
            tool = std::make_unique<StandIn>(e.product.package_path, "");
        } else {
            tool = std::make_unique<StandIn>(e.pf + u"\\7-Zip\\7z.exe", "print bin\\app.exe\n");
        }
        UnreadableExitCodes unreadable;
        EXPECT_FALSE(RunExternalExtractor(e.product, e.t, e.staging, selfExtractor ? kFormat7zSfx : kFormat7z,
                                          nullptr));
        EXPECT_EQ(tool->Calls().size(), 1u);  // ran once; a listing not known to be good extracts nothing
        EXPECT_EQ(e.product.last_error,
                  u"解压失败，退出码 0。安装包可能损坏、路径不安全，或自解压格式不支持当前参数。");
    }
}

// Only an existing empty log is an empty listing; a log that is missing, a
// folder or cannot be read proves nothing about the archive.
TEST(CheckListingFile, MissingOrUnreadableLogFails) {
    Extractors e;
    WideBuffer log = e.t.work_folder + u"\\extract.log";
    EXPECT_FALSE(CheckListingFile(log, e.staging, true));
    ASSERT_TRUE(CreateDirectoryTree(log));
    EXPECT_FALSE(CheckListingFile(log, e.staging, false));
    ASSERT_TRUE(RemoveDirectoryW(W(log)));
    ASSERT_TRUE(WriteWholeFile(log, "", 0));
    EXPECT_TRUE(CheckListingFile(log, e.staging, true));
    ASSERT_TRUE(WriteWholeFile(log, "a.txt\r\n", 7));
    EXPECT_TRUE(CheckListingFile(log, e.staging, false));
    UniqueHandle holder(CreateFileW(W(log), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_FALSE(CheckListingFile(log, e.staging, false));
}

// A ZIP, an ordinary installer or an unknown file is never handed to an
// extractor or run with self-extractor arguments.
TEST(RunExternalExtractor, OtherFormatsAreRefusedWithoutRunningAnything) {
    for (bool withSevenZip : {false, true}) {
        for (PackageFormat format : {kFormatUnknown, kFormatZip, kFormatExe}) {
            Extractors e;
            e.product.package_path = e.t.work_folder + u"\\package.exe";
            StandIn package(e.product.package_path, "");
            std::unique_ptr<StandIn> sevenZip;
            if (withSevenZip) sevenZip = std::make_unique<StandIn>(e.pf + u"\\7-Zip\\7z.exe", "");
            EXPECT_FALSE(RunExternalExtractor(e.product, e.t, e.staging, format, nullptr)) << format;
            EXPECT_EQ(e.product.last_error,
                      u"解压失败，退出码 0。安装包可能损坏、路径不安全，或自解压格式不支持当前参数。");
            EXPECT_TRUE(package.Calls().empty()) << format;
            if (sevenZip) {
                EXPECT_TRUE(sevenZip->Calls().empty()) << format;
            }
        }
    }
}

TEST(RunExternalExtractor, SelfExtractorsWithoutAnExtractor) {
    for (PackageFormat format : {kFormatRarSfx, kFormat7zSfx}) {
        Extractors e;
        e.product.package_path = e.t.work_folder + u"\\package.exe";
        StandIn sfx(e.product.package_path, "");
        ASSERT_TRUE(RunExternalExtractor(e.product, e.t, e.staging, format, nullptr));
        ASSERT_EQ(sfx.Calls().size(), 1u);
        std::string expected = "\"" + WideToUtf8(sfx.path()) + "\" " +
                               (format == kFormatRarSfx ? "-s \"-d" : "-y \"-o") + WideToUtf8(e.staging) + "\"";
        EXPECT_EQ(sfx.Calls()[0], expected);
    }
}

}  // namespace
