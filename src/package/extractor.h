// RAR and 7z packages go to an installed 7-Zip or WinRAR. Their listing is
// checked first so that no entry lands outside the staging folder and no link
// is extracted; the command lines are fixed here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/text.h"
#include "package/package_format.h"

// SafeJoinRelative, or the text rules alone in tests and tools.
using RelativeJoin = bool (*)(std::u16string_view destination, std::u16string_view name, WideBuffer& target);

// True when every listed path joins safely below destination and, for 7-Zip,
// no entry has a non-empty link field. Lines before 7-Zip's "----------"
// separator (the archive's own properties) are not paths.
bool CheckArchiveListing(const uint8_t* bytes, size_t size, std::u16string_view destination, bool is7zip,
                         RelativeJoin join);

// RAR, 7z and their self-extractors: the formats handed to an outside program.
bool IsExternalArchiveFormat(PackageFormat format);

WideBuffer ListArguments(bool is7zip, std::u16string_view package);
WideBuffer ExtractArguments(bool is7zip, std::u16string_view package, std::u16string_view destination);
// A self-extracting package run on its own.
WideBuffer SelfExtractArguments(PackageFormat format, std::u16string_view destination);
