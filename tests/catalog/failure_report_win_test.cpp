#include "catalog/failure_report_win.h"

#include <gtest/gtest.h>

#include "catalog/http.h"
#include "vendor_server_win.h"

namespace {

const char16_t kReportQuery[] = u"route=%5Eapp/install/report_failure";
const char kReportRule[] = "/?route=%5Eapp/install/report_failure";

ProductEntry Failed(const char16_t* pucType, uint32_t kind) {
    ProductEntry p;
    p.puc_type = pucType;
    p.failure_kind = kind;
    p.failed = true;
    p.last_error = u"下载失败";
    p.status_text = u"失败";
    return p;
}

// Reports share the one report address, so every case runs here, one after another.
TEST(ReportFailure, SendsOneFormPostPerKindAndNeverChangesTheProduct) {
    const char* types[] = {"download_failed", "main_program_run_failed", "file_missing", "package_corrupted",
                           "installer_unlaunchable"};
    for (uint32_t kind = 0; kind <= 6; ++kind) {
        std::u16string number = u"90" + std::u16string(1, static_cast<char16_t>(u'0' + kind));
        ReportFailure(Failed(number.c_str(), kind));
    }
    std::vector<RecordedRequest> sent = RequestsTo(u"/", kReportQuery);
    for (uint32_t kind = 0; kind <= 6; ++kind) {
        std::string number = "90" + std::to_string(kind);
        std::string expected = "install_oem_id=1&puc_type=" + number + "&failure_type=";
        int matches = 0;
        for (const RecordedRequest& r : sent) {
            if (WideToUtf8(r.body).rfind(expected, 0) != 0) continue;
            ++matches;
            EXPECT_EQ(WideToUtf8(r.body), expected + types[kind - 1]);
            EXPECT_EQ(r.method, u"POST");
            EXPECT_EQ(r.contentType, u"application/x-www-form-urlencoded");
            EXPECT_EQ(r.userAgent, u"TwParcelwright/1.0");
        }
        EXPECT_EQ(matches, kind >= 1 && kind <= 5 ? 1 : 0) << "kind " << kind;
    }

    // An unhelpful server changes nothing on the product.
    struct Case { const char* rule; };
    const Case cases[] = {
        {R"({"status": 500, "body": "error"})"},
        {R"({"body_size": 200000})"},          // an answer over 64 KiB is dropped part-way
        {R"({"stall_ms": 12000, "body": "late"})"},  // no answer within the 10 s time-outs
    };
    for (const Case& c : cases) {
        ServerRules rules(u"report", std::string("{\"") + kReportRule + "\": " + c.rule + "}");
        ProductEntry p = Failed(u"12", 1);
        DWORD started = GetTickCount();
        ReportFailure(p);
        EXPECT_LT(GetTickCount() - started, 30000u);
        EXPECT_EQ(p.last_error, u"下载失败");
        EXPECT_EQ(p.status_text, u"失败");
        EXPECT_TRUE(p.failed);
        EXPECT_EQ(p.failure_kind, 1u);
    }
}

}  // namespace
