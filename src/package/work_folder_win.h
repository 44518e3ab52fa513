// Work folders of install attempts. The install root is often writable by
// every signed-in user, yet what runs from a work folder runs as
// administrator: so each attempt's folder is made new, with an access list
// only administrators and SYSTEM may use, and held open so that it cannot be
// renamed or swapped while the attempt lasts. Recovery reads only folders
// whose security proves that nobody else could have written them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "base/handles_win.h"
#include "base/text.h"

// Full control for Administrators and SYSTEM, inherited by everything inside,
// nothing inherited from the parent, nothing for anyone else.
extern const wchar_t kWorkFolderSecurity[];

// True when owner and access list prove that only Administrators, SYSTEM and
// runningUser can write to, delete or re-permission the folder or (through
// inheritance) what is put in it. No access list at all lets everyone in.
bool IsTrustedWorkFolderSecurity(PSECURITY_DESCRIPTOR descriptor, PSID runningUser);

// The user the process runs as (its token's user), as a self-contained SID.
bool RunningUserSid(std::vector<uint8_t>& sid);

// Creates root\temp_setup with the work folder security when it is missing;
// one that exists is used as it is (each attempt's own folder is protected).
bool EnsureTempSetupFolder(const WideBuffer& tempRoot);

// Creates folder, which must not exist yet (an existing one is refused with
// ERROR_ALREADY_EXISTS: someone else may have made it), with the work folder
// security, and holds it open without delete sharing. False, with the hold
// empty, when the folder opened is not the one made (a link, other security).
bool CreateAttemptFolder(const WideBuffer& folder, UniqueHandle& hold);

// Opens an existing folder without following links and holds it without
// delete sharing; true only when it is a plain folder whose security
// IsTrustedWorkFolderSecurity accepts for the running user.
bool OpenTrustedWorkFolder(const WideBuffer& folder, UniqueHandle& hold);
