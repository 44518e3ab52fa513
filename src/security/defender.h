// What the Defender steps decide without the system: which folders may be
// excluded, the PowerShell command lines, what an exit code or a status output
// means, and the once-per-run bookkeeping. defender_win asks and acts.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "package/file_identity.h"

constexpr size_t kMaxExclusionsPerRun = 130;
constexpr uint32_t kExclusionTimeLimitMs = 30000;
constexpr uint32_t kStatusTimeLimitMs = 12000;
constexpr uint32_t kExclusionStillMissing = 1168;  // ERROR_NOT_FOUND

extern const char16_t kExclusionRefused[];

// The folders handled in one install run and the lines of those that failed.
struct ExclusionRun {
    std::vector<WideBuffer> folders;
    WideBuffer errors;  // lines separated by CR LF
};

// Excludes one folder; message is set in every case.
using ExcludeFolderFn = bool (*)(std::u16string_view folder, WideBuffer& message, void* context);

// Hands folder to exclude unless it is empty or was already handled in this
// run (ASCII case ignored); a failure with a message is logged and becomes a
// line of run.errors.
void AddExclusionOnce(std::u16string_view folder, ExclusionRun& run, ExcludeFolderFn exclude, void* context);

// fullPath is a drive root, equals one of the folders, or is an ancestor of
// one; empty folders are skipped (the system could not name them).
bool IsExclusionRefused(std::u16string_view fullPath, const std::vector<WideBuffer>& protectedFolders);

// The folders an exclusion must not cover, as texts and as the disk knows
// them: the identity of every existing protected folder and of every existing
// folder above one, so that any name reaching them counts.
struct ProtectedFolders {
    std::vector<WideBuffer> paths;
    std::vector<FileIdentity> identities;
};

// The text refusal above, and for an existing folder (identity not null) the
// same folder as any of the protected identities. An identity without a file
// index says nothing (some network file systems report none).
bool IsExclusionRefused(std::u16string_view fullPath, const FileIdentity* identity,
                        const ProtectedFolders& protectedFolders);

// fullPath and each folder above it, nearest first, ending at its drive root
// ("D:"); the texts whose identities a protected folder contributes.
std::vector<WideBuffer> FolderAndAncestors(std::u16string_view fullPath);

// The text inside a PowerShell single-quoted string: every quote PowerShell
// would end it at (', and U+2018 to U+201B) doubled.
WideBuffer QuotePowerShellLiteral(std::u16string_view text);

// The arguments that add fullPath to Defender's exclusions unless present and
// then check that it is there.
WideBuffer ExclusionArguments(std::u16string_view fullPath);

// True for exit code 0; message is the text for the code.
bool ExclusionExitMessage(uint32_t exitCode, WideBuffer& message);

extern const char16_t kStatusArguments[];

// tempFolder ends in a backslash.
WideBuffer StatusFileName(std::u16string_view tempFolder, uint32_t processId, uint32_t tick);

// 1 enabled, 0 disabled, -1 unknown: the first "enabled" or "disabled" in the
// bytes, which count only when there are more than six.
int ScanStatusOutput(const ByteBuffer& output);
