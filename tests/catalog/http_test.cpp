#include "catalog/http.h"

#include <gtest/gtest.h>

#include "base/deployment.h"

namespace {

TEST(RequestTarget, EmptyBecomesRoot) {
    EXPECT_EQ(RequestTarget(u"", u""), u"/");
    EXPECT_EQ(RequestTarget(u"", u"?a=1"), u"?a=1");
    EXPECT_EQ(RequestTarget(u"/a", u"?b=1"), u"/a?b=1");
}

TEST(ParseContentLength, LeadingDigits) {
    EXPECT_EQ(ParseContentLength(u"8388608"), 8388608u);
    EXPECT_EQ(ParseContentLength(u"12abc"), 12u);
    EXPECT_EQ(ParseContentLength(u""), 0u);
    EXPECT_EQ(ParseContentLength(u" 5"), 0u);
    EXPECT_EQ(ParseContentLength(u"18446744073709551615"), UINT64_MAX);
    EXPECT_EQ(ParseContentLength(u"99999999999999999999"), UINT64_MAX);  // saturates
    EXPECT_EQ(ParseContentLength(u"4294967296"), 4294967296u);            // beyond 32 bits
}

TEST(FailureReportBody, Kinds) {
    EXPECT_EQ(FailureReportBody(u"12", 1), "install_oem_id=1&puc_type=12&failure_type=download_failed");
    EXPECT_EQ(FailureReportBody(u"7", 2), "install_oem_id=1&puc_type=7&failure_type=main_program_run_failed");
    EXPECT_EQ(FailureReportBody(u"7", 3), "install_oem_id=1&puc_type=7&failure_type=file_missing");
    EXPECT_EQ(FailureReportBody(u"7", 4), "install_oem_id=1&puc_type=7&failure_type=package_corrupted");
    EXPECT_EQ(FailureReportBody(u"7", 5), "install_oem_id=1&puc_type=7&failure_type=installer_unlaunchable");
    EXPECT_EQ(FailureReportBody(u"7", 0), "");
    EXPECT_EQ(FailureReportBody(u"7", 6), "");
}

TEST(VendorUrls, FixedQueriesOnTheDeploymentOrigin) {
    EXPECT_EQ(CatalogUrl(), std::u16string(kVendorOrigin) + u"/?route=%5Eapp/install/get_list&install_oem_id=1");
    EXPECT_EQ(FailureReportUrl(), std::u16string(kVendorOrigin) + u"/?route=%5Eapp/install/report_failure");
}

}  // namespace
