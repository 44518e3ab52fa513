#include "engine/launch.h"

#include <gtest/gtest.h>

namespace {

TEST(IsReadyToOpen, NeedsSuccessATransactionAndAProgramName) {
    struct Case { bool succeeded, transaction; const char16_t* runname; bool ready; };
    const Case cases[] = {
        {true, true, u"Tool.exe", true},
        {false, true, u"Tool.exe", false},
        {true, false, u"Tool.exe", false},
        {true, true, u"", false},
        {false, false, u"", false},
    };
    for (const Case& c : cases) {
        ProductEntry product;
        product.succeeded = c.succeeded;
        if (c.transaction) product.transaction = std::make_unique<InstallTransaction>();
        product.runname = c.runname;
        EXPECT_EQ(IsReadyToOpen(product), c.ready) << c.succeeded << c.transaction;
    }
}

}  // namespace
