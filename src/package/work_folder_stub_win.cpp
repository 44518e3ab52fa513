// Stand-in until the trust decision over the folder's security descriptor
// arrives: opens and holds the folder, trusts every folder that is no link.
#include <windows.h>

#include "base/handles_win.h"
#include "base/text.h"
#include "base/wide_win.h"

bool OpenTrustedWorkFolder(const WideBuffer& folder, UniqueHandle& hold) {
    hold.reset(CreateFileW(W(folder), FILE_READ_ATTRIBUTES | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    return hold && GetFileInformationByHandle(hold.get(), &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}
