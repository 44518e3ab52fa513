// The decisions of installing a product's prerequisites that need no system:
// which way a row is installed, which exit codes count as success, the size
// limits of a download and the warning text a failed row leaves on the product.
#pragma once

#include <cstdint>

#include "base/text.h"

struct ProductEntry;

// A prerequisite download may not be larger than 512 MiB.
constexpr uint64_t kPrerequisiteSizeLimit = 536870912;

// .NET Framework 3.5 is a Windows feature up to this build; later builds
// need its installer.
constexpr uint32_t kLastDismBuild = 27999;

enum class PrerequisiteMethod {
    kSkipNot64Bit,  // a 64-bit runtime on 32-bit Windows: warn and go on
    kDism,          // enable the optional feature
    kDownload,      // download the row's installer and run it
};

PrerequisiteMethod ChoosePrerequisiteMethod(int row, bool windows64Bit, uint32_t buildNumber);

// 0, 1638 (a newer version is present), 1641 and 3010 (restart needed) and
// 0x80070666 (already installed).
bool IsAcceptedInstallerExit(uint32_t code);
bool ExitNeedsRestart(uint32_t code);

// The announced Content-Length text's leading digits exceed the size limit.
bool AnnouncedSizeTooLarge(std::u16string_view contentLength);
// More than announced, or more than the size limit, has arrived.
bool ReceivedSizeAbnormal(uint64_t received, uint64_t announced);

// DISM's arguments for enabling .NET Framework 3.5.
extern const char16_t kDismArguments[];
// The DirectX package unpacks itself quietly into folder.
WideBuffer DirectXUnpackArguments(std::u16string_view folder);

// Appends "<display name>：<text>" (or "安装未完成" for an empty text) to the
// product's env_warnings, separated by "；", and logs the warning.
void AddPrerequisiteWarning(ProductEntry& product, int row, std::u16string_view text);
