// What the HTTP layer decides without the network: the vendor addresses, the
// request target, the in-memory size cap and the failure report's body.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/text.h"

constexpr const char16_t* kUserAgent = u"TwParcelwright/1.0";
constexpr size_t kMemoryBodyLimit = 8388608;  // 8 MiB
constexpr size_t kMemoryReadPiece = 32768;

// Vendor server addresses (the origin is a deployment value).
WideBuffer CatalogUrl();
WideBuffer FailureReportUrl();

// The path followed by the query, "/" when both are empty.
WideBuffer RequestTarget(std::u16string_view path, std::u16string_view query);

// Whether adding bytes to a body that already holds held bytes stays within limit.
bool FitsLimit(size_t held, size_t adding, size_t limit);

// The leading decimal digits of a raw Content-Length value (0 when there are
// none; saturates instead of wrapping).
uint64_t ParseContentLength(std::u16string_view text);

// "download_failed" ... "installer_unlaunchable" for kinds 1 to 5, else null.
const char* FailureTypeText(uint32_t failureKind);

// "install_oem_id=1&puc_type=<n>&failure_type=<text>" as UTF-8; empty when the
// kind is not reportable.
std::string FailureReportBody(std::u16string_view pucType, uint32_t failureKind);
