// The thirteen runtime prerequisites a catalog product may declare: their
// codes, mask bits, names, download links and silent-install arguments, in the
// order they are installed, and the version comparison their detection uses.
#pragma once

#include <cstdint>

#include "base/text.h"

enum PrerequisiteHost { kLinkRedirector, kShortLink, kDownloadCenter };

struct PrerequisiteInfo {
    const char16_t* code;
    uint32_t bit;
    const char16_t* displayName;
    PrerequisiteHost host;
    const char16_t* linkPath;    // path and query on the host
    const char16_t* arguments;   // null: installed in two stages
    bool needs64BitWindows;
};

constexpr int kPrerequisiteCount = 13;
extern const PrerequisiteInfo kPrerequisites[kPrerequisiteCount];

// The bit of a code (exact, case-sensitive), 0 for anything else.
uint32_t PrerequisiteBit(std::u16string_view code);

// Full https address of a row's installer.
WideBuffer PrerequisiteDownloadUrl(const PrerequisiteInfo& row);

// "v14.29.30133.00" >= 14.20.27508: leading blanks and V/v skipped, three
// numeric components required (a fourth is ignored).
bool VersionAtLeast(std::u16string_view text, uint32_t major, uint32_t minor, uint32_t build);

// SOFTWARE\Microsoft\VisualStudio\<version>\VC\<VCRedist|Runtimes>\<arch>
WideBuffer VisualCppRuntimeKey(const char16_t* version, const char16_t* architecture);
