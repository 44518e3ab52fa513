// The only translation unit that sees the build's TW_* origin definitions.
#include "base/deployment.h"

#define TW_WIDEN2(x) u##x
#define TW_WIDEN(x) TW_WIDEN2(x)

const char16_t kVendorOrigin[] = TW_WIDEN(TW_VENDOR_ORIGIN);
const char16_t kVendorShopOrigin[] = TW_WIDEN(TW_VENDOR_SHOP_ORIGIN);
const char16_t kVendorBlogOrigin[] = TW_WIDEN(TW_VENDOR_BLOG_ORIGIN);
const char16_t kMicrosoftLinkOrigin[] = TW_WIDEN(TW_MS_LINK_ORIGIN);
const char16_t kMicrosoftShortLinkOrigin[] = TW_WIDEN(TW_MS_SHORTLINK_ORIGIN);
const char16_t kMicrosoftDownloadOrigin[] = TW_WIDEN(TW_MS_DOWNLOAD_ORIGIN);
const char16_t kSafeguardHelpOrigin[] = TW_WIDEN(TW_SAFEGUARD_HELP_ORIGIN);
const char16_t kAntivirusHelpOrigin[] = TW_WIDEN(TW_ANTIVIRUS_HELP_ORIGIN);
const char16_t kKingsoftHelpOrigin[] = TW_WIDEN(TW_KINGSOFT_HELP_ORIGIN);
const char16_t kTencentHelpOrigin[] = TW_WIDEN(TW_TENCENT_HELP_ORIGIN);
const char16_t kAvastHelpOrigin[] = TW_WIDEN(TW_AVAST_HELP_ORIGIN);

WideBuffer VendorContactUrl() { return WideBuffer(kVendorOrigin) + u"/?route=user_center/contact&puctype=10"; }
