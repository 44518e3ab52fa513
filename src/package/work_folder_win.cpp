#include "package/work_folder_win.h"

#include <aclapi.h>
#include <sddl.h>

#include "base/file_win.h"
#include "base/wide_win.h"
#include "package/path_safety_win.h"

const wchar_t kWorkFolderSecurity[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

namespace {

// Every right that changes the folder, what is in it, or who may do so.
constexpr ACCESS_MASK kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                        FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                        GENERIC_ALL;

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(buffer);
    return CreateWellKnownSid(type, nullptr, buffer, &size) && EqualSid(sid, buffer);
}

bool IsTrustedSid(PSID sid, PSID runningUser) {
    return IsWellKnown(sid, WinBuiltinAdministratorsSid) || IsWellKnown(sid, WinLocalSystemSid) ||
           (runningUser && EqualSid(sid, runningUser));
}

// Entries that grant: only the plain form is understood; callback and object
// forms never appear on folders this program makes.
bool AceLetsOthersChange(const ACE_HEADER* header, PSID runningUser) {
    switch (header->AceType) {
        case ACCESS_DENIED_ACE_TYPE:
        case ACCESS_DENIED_OBJECT_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
            return false;
        case ACCESS_ALLOWED_ACE_TYPE: {
            const auto* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
            PSID sid = const_cast<DWORD*>(&allowed->SidStart);
            return (allowed->Mask & kChangingRights) && !IsTrustedSid(sid, runningUser);
        }
        default:
            return true;
    }
}

DWORD OpenFolderNoFollow(const WideBuffer& folder, UniqueHandle& hold) {
    hold.reset(CreateFileW(W(folder), READ_CONTROL | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!hold) return GetLastError();
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(hold.get(), &info)) return GetLastError();
    bool plainFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                       !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    // Asked by name as well: not every system honours the flag for every
    // kind of link. The name cannot change any more while the folder is held.
    return plainFolder && HasNoReparsePoint(folder) ? ERROR_SUCCESS : static_cast<DWORD>(ERROR_ACCESS_DENIED);
}

bool HeldFolderIsTrusted(HANDLE folder) {
    std::vector<uint8_t> user;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!RunningUserSid(user) ||
        GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, nullptr, nullptr, &raw) != ERROR_SUCCESS) {
        return false;
    }
    UniqueLocalMemory descriptor(raw);
    return IsTrustedWorkFolderSecurity(raw, user.data());
}

bool CreateProtectedFolder(const WideBuffer& folder) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kWorkFolderSecurity, SDDL_REVISION_1, &raw, nullptr)) {
        return false;
    }
    UniqueLocalMemory descriptor(raw);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), raw, FALSE};
    return CreateDirectoryW(W(folder), &attributes) != FALSE;
}

}  // namespace

bool IsTrustedWorkFolderSecurity(PSECURITY_DESCRIPTOR descriptor, PSID runningUser) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    PACL dacl = nullptr;
    if (!descriptor || !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner ||
        !IsTrustedSid(owner, runningUser)) {
        return false;
    }
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace) || AceLetsOthersChange(static_cast<const ACE_HEADER*>(ace), runningUser)) {
            return false;
        }
    }
    return true;
}

bool RunningUserSid(std::vector<uint8_t>& sid) {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    UniqueHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size < sizeof(TOKEN_USER)) return false;
    std::vector<uint8_t> buffer(size);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return false;
    PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    if (!IsValidSid(user)) return false;
    sid.assign(static_cast<uint8_t*>(user), static_cast<uint8_t*>(user) + GetLengthSid(user));
    return true;
}

bool EnsureTempSetupFolder(const WideBuffer& tempRoot) {
    if (DirectoryExists(tempRoot)) return true;
    if (CreateProtectedFolder(tempRoot)) return true;
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS && DirectoryExists(tempRoot)) return true;
    SetLastError(error);
    return false;
}

bool CreateAttemptFolder(const WideBuffer& folder, UniqueHandle& hold) {
    hold.reset();
    // Between the creation and the open someone able to write the parent
    // could put another folder or a link under the name: the folder held must
    // prove it is one only administrators can change.
    return CreateProtectedFolder(folder) && OpenTrustedWorkFolder(folder, hold);
}

bool OpenTrustedWorkFolder(const WideBuffer& folder, UniqueHandle& hold) {
    DWORD error = OpenFolderNoFollow(folder, hold);
    if (error == ERROR_SUCCESS && HeldFolderIsTrusted(hold.get())) return true;
    hold.reset();
    SetLastError(error == ERROR_SUCCESS ? static_cast<DWORD>(ERROR_ACCESS_DENIED) : error);
    return false;
}
