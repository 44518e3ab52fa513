#include "engine/launch_win.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/test_folder_win.h"
#include "catalog/sha256_win.h"
#include "running_win.h"
#include "stand_in_win.h"

namespace {

const char16_t kChanged[] =
    u"已安装，但是检测到主程序被删除或校验失败，可能被杀毒软件拦截隔离导致，您可解决拦截问题后重试";
const char16_t kNotOpened[] = u"软件无法打开，可能被安全软件阻止，请检查后重试。";

// A product installed in this run whose main program is a stand-in in a
// sub-folder of the product folder, hashed as the install flow records it.
// Whatever it started is ended before the folder goes.
struct Installed {
    TestFolder folder;
    struct Reaper {
        const WideBuffer& folder;
        ~Reaper() { EndProcessesUnder(folder); }
    } reaper{folder.path()};
    ProductEntry product;
    WideBuffer bin = folder / u"root\\Tool\\bin";
    StandIn program{bin + u"\\Tool.exe", ""};
    std::vector<WideBuffer> statuses;

    Installed() {
        product.puc_type = u"12";
        product.succeeded = true;
        product.runname = u"Tool.exe";
        product.deploy_dir = folder / u"root\\Tool";
        product.main_program_path = program.path();
        product.transaction = std::make_unique<InstallTransaction>();
        HashFileSha256(product.main_program_path, product.transaction->main_program_hash,
                       &product.transaction->main_program_size);
    }
    bool Open() { return OpenInstalledProgram(product, Status, this); }
    static bool Status(void* context, ProductEntry*, const char16_t* text) {
        static_cast<Installed*>(context)->statuses.push_back(text);
        return true;
    }
};

// The recorded command line after the quoted program path.
std::string ArgumentsOf(const std::string& commandLine, const WideBuffer& program) {
    std::string quoted = "\"" + WideToUtf8(program) + "\"";
    if (commandLine.compare(0, quoted.size(), quoted) != 0) return "<" + commandLine + ">";
    std::string rest = commandLine.substr(quoted.size());
    while (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
    while (!rest.empty() && rest.back() == ' ') rest.pop_back();
    return rest;
}

TEST(OpenInstalledProgram, StartsTheProgramInItsFolderWithItsArguments) {
    struct Case { const char16_t* arguments; const char* recorded; };
    const Case cases[] = {
        {u"--tray \"a b\"", "--tray \"a b\""},
        {u"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.arguments));
        Installed s;
        s.product.run_arguments = c.arguments;
        ASSERT_TRUE(s.Open());
        EXPECT_EQ(s.statuses, (std::vector<WideBuffer>{u"已请求打开软件。"}));
        EXPECT_FALSE(s.product.failed);
        // The folder is written after the command line, so both are complete.
        ASSERT_TRUE(WaitUntil([&] { return s.program.Folders().size() == 1; }));
        ASSERT_EQ(s.program.Calls().size(), 1u);
        EXPECT_EQ(ArgumentsOf(s.program.Calls()[0], s.program.path()), c.recorded);
        EXPECT_EQ(s.program.Folders()[0], WideToUtf8(s.bin));
    }
}

// A program that would stay running if it were started, so that "not started"
// is seen at once: the shell call returns only after the process exists.
void ReplaceWithHoldingCopy(Installed& s, bool sameSize) {
    ByteBuffer bytes;
    ASSERT_TRUE(ReadWholeFile(s.program.path(), bytes));
    if (sameSize) {
        bytes.back() ^= 0x5A;  // the trailing symbol text, never loaded
    } else {
        bytes.push_back(0);
    }
    ASSERT_TRUE(WriteWholeFile(s.program.path(), bytes.data(), bytes.size()));
    s.program.SetScript("hold " + WideToUtf8(s.bin + u"\\held.bin") + "\n");
}

TEST(OpenInstalledProgram, AChangedOrMissingMainProgramIsNeverStarted) {
    struct Case { const char* what; void (*change)(Installed&); uint32_t kind; };
    const Case cases[] = {
        {"replaced by a longer file", [](Installed& s) { ReplaceWithHoldingCopy(s, false); }, 4},
        {"replaced by a file of the same size", [](Installed& s) { ReplaceWithHoldingCopy(s, true); }, 4},
        {"deleted", [](Installed& s) { DeleteFileW(W(s.program.path())); }, 3},
        {"a folder in its place", [](Installed& s) {
             DeleteFileW(W(s.program.path()));
             CreateDirectoryW(W(s.program.path()), nullptr);
         }, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Installed s;
        c.change(s);
        EXPECT_FALSE(s.Open());
        EXPECT_TRUE(ProcessesUnder(s.folder.path()).empty());
        EXPECT_TRUE(s.program.Calls().empty());
        EXPECT_EQ(s.product.failure_kind, c.kind);
        EXPECT_EQ(s.product.last_error, kChanged);
        EXPECT_TRUE(s.product.failed);
        EXPECT_TRUE(s.product.block_suspected);
        EXPECT_EQ(s.product.status_text, u"失败");
        EXPECT_EQ(s.statuses, (std::vector<WideBuffer>{kChanged}));
    }
}

TEST(OpenInstalledProgram, NothingHappensBeforeASuccessfulInstall) {
    struct Case { const char* what; void (*change)(Installed&); };
    const Case cases[] = {
        {"not installed in this run", [](Installed& s) { s.product.succeeded = false; }},
        {"no transaction", [](Installed& s) { s.product.transaction.reset(); }},
        {"no program name", [](Installed& s) { s.product.runname.clear(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Installed s;
        s.program.SetScript("hold " + WideToUtf8(s.bin + u"\\held.bin") + "\n");
        c.change(s);
        EXPECT_FALSE(s.Open());
        EXPECT_TRUE(ProcessesUnder(s.folder.path()).empty());
        EXPECT_TRUE(s.statuses.empty());
        EXPECT_FALSE(s.product.failed);
        EXPECT_EQ(s.product.failure_kind, 0u);
    }
}

// The installed file is intact but cannot run: the shell's failure is the
// product's, with the security hint, and no box of the shell's own appears.
TEST(OpenInstalledProgram, AProgramThatCannotStartIsKindTwo) {
    Installed s;
    const char text[] = "not a program";
    ASSERT_TRUE(WriteWholeFile(s.program.path(), text, sizeof(text) - 1));
    HashFileSha256(s.product.main_program_path, s.product.transaction->main_program_hash,
                   &s.product.transaction->main_program_size);
    EXPECT_FALSE(s.Open());
    EXPECT_EQ(s.product.failure_kind, 2u);
    EXPECT_EQ(s.product.last_error, kNotOpened);
    EXPECT_TRUE(s.product.failed);
    EXPECT_TRUE(s.product.block_suspected);
    EXPECT_EQ(s.statuses, (std::vector<WideBuffer>{kNotOpened}));
}

// What was checked is what the shell starts: while the shell call runs, the
// main program can be neither written nor renamed nor deleted; right after it,
// the program is free again.
struct ShellCallWatch {
    static inline WideBuffer program;
    static inline std::vector<FileAccess> seen;
    static BOOL WINAPI Start(SHELLEXECUTEINFOW* execute) {
        seen.push_back(TryToChange(program, true));
        return ShellExecuteExW(execute);
    }
    explicit ShellCallWatch(const WideBuffer& path) {
        program = path;
        seen.clear();
        g_startMainProgram = Start;
    }
    ~ShellCallWatch() { g_startMainProgram = ShellExecuteExW; }
};

TEST(OpenInstalledProgram, TheProgramIsHeldFromItsCheckUntilTheShellHasStartedIt) {
    Installed s;
    ShellCallWatch watch(s.program.path());
    ASSERT_TRUE(s.Open()) << WideToUtf8(s.product.last_error);
    EXPECT_EQ(ShellCallWatch::seen, std::vector<FileAccess>{FileAccess{}});
    // It started, and has ended (it has nothing to do): nothing holds it now.
    ASSERT_TRUE(WaitUntil([&] { return s.program.Folders().size() == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return ProcessesUnder(s.folder.path()).empty(); }));
    EXPECT_EQ(TryToChange(s.program.path(), true), (FileAccess{true, true, true}));
}

// A program that fails its check is held no longer than the check.
TEST(OpenInstalledProgram, AChangedProgramIsNotLeftHeld) {
    Installed s;
    ShellCallWatch watch(s.program.path());
    ReplaceWithHoldingCopy(s, true);
    EXPECT_FALSE(s.Open());
    EXPECT_TRUE(ShellCallWatch::seen.empty());  // the shell was never asked
    EXPECT_EQ(TryToChange(s.program.path(), true), (FileAccess{true, true, true}));
}

}  // namespace
