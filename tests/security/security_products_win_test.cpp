#include "security/security_products_win.h"

#include <gtest/gtest.h>

#include "base/file_win.h"
#include "base/test_folder_win.h"

namespace {

// Wine has no Security Center namespace: the detection must say it did not
// finish, with the failing status, and find nothing.
TEST(DetectSecurityProducts, WithoutSecurityCenterTheScanIsIncomplete) {
    TestFolder folder;
    ScopedEnvironment data(L"LOCALAPPDATA", folder.path().c_str());
    EXPECT_EQ(DetectSecurityProducts(), kSecurityIncomplete);
    ByteBuffer log;
    ASSERT_TRUE(ReadWholeFile(folder / u"TwParcelwright\\logs\\install.log", log));
    std::string text(log.begin(), log.end());
    size_t at = text.find(WideToUtf8(u"] [Parcelwright] 安全产品检测未完成：0x"));
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_EQ(text.find("\r\n", at) - text.find("0x", at), 10u) << "eight hexadecimal digits";
    EXPECT_EQ(text.find("[Parcelwright]", text.find("\r\n", at)), std::string::npos) << "one line only";
}

}  // namespace
