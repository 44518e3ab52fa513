// Where this build talks to: the vendor's web server and the hosts the runtime
// installers come from. They are fixed when the program is built (tests build
// against a loopback server); paths and queries stay in the code that uses them.
#pragma once

#include "base/text.h"

// Each origin is scheme://host[:port] without a trailing slash.
extern const char16_t kVendorOrigin[];
extern const char16_t kVendorShopOrigin[];
extern const char16_t kVendorBlogOrigin[];
extern const char16_t kMicrosoftLinkOrigin[];       // the fwlink redirector
extern const char16_t kMicrosoftShortLinkOrigin[];  // the short-link service
extern const char16_t kMicrosoftDownloadOrigin[];   // the download center
// The antivirus vendors' help sites the troubleshooting guide links to.
extern const char16_t kSafeguardHelpOrigin[];  // 360 安全卫士
extern const char16_t kAntivirusHelpOrigin[];  // 360 杀毒
extern const char16_t kKingsoftHelpOrigin[];
extern const char16_t kTencentHelpOrigin[];
extern const char16_t kAvastHelpOrigin[];

// The vendor's contact page, linked from the main window and the guide.
WideBuffer VendorContactUrl();
