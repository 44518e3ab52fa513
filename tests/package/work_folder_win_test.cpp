#include "package/work_folder_win.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>

#include "base/test_folder_win.h"

namespace {

// The running user's SID as SDDL text, so cases can name "us".
std::wstring RunningUserText() {
    std::vector<uint8_t> sid;
    wchar_t* text = nullptr;
    if (!RunningUserSid(sid) || !ConvertSidToStringSidW(sid.data(), &text)) return L"";
    std::wstring result = text;
    LocalFree(text);
    return result;
}

// Decides over a descriptor given as SDDL; "ME" stands for the running user.
bool Trusted(std::wstring sddl) {
    const std::wstring me = RunningUserText();
    for (size_t at; (at = sddl.find(L"ME")) != std::wstring::npos;) sddl.replace(at, 2, me);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        ADD_FAILURE() << "bad SDDL";
        return false;
    }
    std::vector<uint8_t> user;
    EXPECT_TRUE(RunningUserSid(user));
    bool trusted = IsTrustedWorkFolderSecurity(descriptor, user.data());
    LocalFree(descriptor);
    return trusted;
}

TEST(WorkFolderSecurity, WhoMayWriteDecidesTrust) {
    struct Case {
        const wchar_t* sddl;
        bool trusted;
        const char* why;
    } cases[] = {
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", true, "what this program makes"},
        {L"O:SYD:P(A;OICI;FA;;;SY)", true, "SYSTEM alone"},
        {L"O:MED:P(A;OICI;FA;;;ME)(A;OICI;FA;;;BA)", true, "the running user as owner"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;;FRFX;;;WD)", true, "others may read and list"},
        {L"O:BAD:P(D;OICI;FA;;;WD)(A;OICI;FA;;;BA)", true, "a deny entry grants nothing"},
        {L"O:BAD:P", true, "an empty list: nobody but the owner"},
        {L"O:BAD:(A;OICI;FA;;;BA)(A;OICIID;0x1301bf;;;AU)", false, "inherited Authenticated Users: Modify"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FW;;;WD)", false, "Everyone: write"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;;0x2;;;WD)", false, "Everyone: add a file"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;;0x4;;;BU)", false, "Users: add a sub-folder"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;;SD;;;BU)", false, "Users: delete"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;;0x40;;;BU)", false, "Users: delete children"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;;WD;;;BU)", false, "Users: change the list"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;;WO;;;BU)", false, "Users: take ownership"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;;GA;;;AU)", false, "generic all"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;;GW;;;AU)", false, "generic write"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICIIO;FA;;;BU)", false, "inherit-only: what is put inside"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICIIO;FA;;;CO)", false, "creator owner is whoever creates"},
        {L"O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;BA)", false, "another user owns it"},
        {L"O:BUD:P(A;OICI;FA;;;BA)", false, "the Users group owns it"},
        {L"O:BA", false, "no access list: everyone may write"},
    };
    for (const Case& c : cases) EXPECT_EQ(Trusted(c.sddl), c.trusted) << c.why;
}

TEST(WorkFolderSecurity, TheDescriptorWeBuildIsProtectedAndTrusted) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(
        ConvertStringSecurityDescriptorToSecurityDescriptorW(kWorkFolderSecurity, SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);  // nothing inherited from the root
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl);
    EXPECT_EQ(dacl->AceCount, 2);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_EQ(ace->Mask, static_cast<DWORD>(FILE_ALL_ACCESS));
    }
    LocalFree(descriptor);
    // A null access list (not an empty one) lets everyone do everything.
    SECURITY_DESCRIPTOR open;
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(admins);
    ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&open, admins, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
    std::vector<uint8_t> user;
    ASSERT_TRUE(RunningUserSid(user));
    EXPECT_FALSE(IsTrustedWorkFolderSecurity(&open, user.data()));
    // The creator (an elevated administrator) becomes the owner.
    EXPECT_TRUE(Trusted(std::wstring(L"O:BA") + kWorkFolderSecurity));
    EXPECT_TRUE(Trusted(std::wstring(L"O:ME") + kWorkFolderSecurity));
}

TEST(CreateAttemptFolder, NewOnlyHeldAgainstRenaming) {
    TestFolder folder;
    WideBuffer temp = folder / u"temp_setup", work = folder / u"temp_setup\\7-1-2";
    ASSERT_TRUE(EnsureTempSetupFolder(temp));
    ASSERT_TRUE(EnsureTempSetupFolder(temp));  // an existing one is used
    UniqueHandle hold;
    ASSERT_TRUE(CreateAttemptFolder(work, hold));
    EXPECT_TRUE(hold);
    // Files can be made and removed inside while it is held...
    ASSERT_TRUE(WriteWholeFile(work + u"\\ledger.log", "x", 1));
    EXPECT_TRUE(DeleteFileW(W(work + u"\\ledger.log")));
    // ...but nobody can rename it away and put another in its place.
    EXPECT_FALSE(MoveFileExW(W(work), W(folder / u"temp_setup\\moved"), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(RemoveDirectoryW(W(work)));
    // A name already taken is refused, whoever made it.
    UniqueHandle second;
    EXPECT_FALSE(CreateAttemptFolder(work, second));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(second);
    hold.reset();
    EXPECT_TRUE(MoveFileExW(W(work), W(folder / u"temp_setup\\moved"), 0));
}

TEST(OpenTrustedWorkFolder, PlainFoldersOnlyNeverALink) {
    TestFolder folder, elsewhere;
    UniqueHandle hold;
    ASSERT_TRUE(CreateDirectoryTree(folder / u"made"));
    // Wine keeps no access lists: what it reports for a folder this process
    // made names the running user, which counts as trusted.
    EXPECT_TRUE(OpenTrustedWorkFolder(folder / u"made", hold));
    ASSERT_TRUE(MakeUnixSymlink(elsewhere.path(), folder / u"link"));
    EXPECT_FALSE(OpenTrustedWorkFolder(folder / u"link", hold));
    EXPECT_FALSE(hold);
    EXPECT_FALSE(OpenTrustedWorkFolder(folder / u"missing", hold));
    ASSERT_TRUE(WriteWholeFile(folder / u"file", "x", 1));
    EXPECT_FALSE(OpenTrustedWorkFolder(folder / u"file", hold));
}

}  // namespace
