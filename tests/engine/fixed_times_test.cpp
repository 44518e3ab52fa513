// The waits, periods and caps a user or a log reader meets, each written out
// as the number it must be. The behaviour tests use these by name, and most of
// them poll in steps, so a value one off would pass them.
#include <gtest/gtest.h>

#include <cstdint>

#include "engine/arm_settings.h"
#include "engine/files_in_use.h"
#include "engine/worker.h"
#include "security/defender.h"
#include "security/security_products.h"
#include "ui/window_timers.h"

namespace {

TEST(FixedTimes, EachHasItsValue) {
    struct {
        const char* what;
        uint64_t value;
        uint64_t expected;
    } cases[] = {
        {"emulation settings: poll for a dialog, an element or a closed dialog (ms)", kArmPollMs, 80},
        {"emulation settings: wait for the Properties dialog (ms)", kArmPropertiesWaitMs, 6000},
        {"emulation settings: wait for the emulation dialog (ms)", kArmEmulationWaitMs, 5000},
        {"emulation settings: look for an element (ms)", kArmElementWaitMs, 4000},
        {"emulation settings: let a toggled box settle (ms)", kArmToggleSettleMs, 100},
        {"emulation settings: wait for the emulation dialog to close (ms)", kArmEmulationCloseWaitMs, 4000},
        {"emulation settings: pause before Apply (ms)", kArmBeforeApplyMs, 200},
        {"emulation settings: wait for the dialog thread (ms)", kArmThreadWaitMs, 3000},
        {"Defender: adding the folder exclusion (ms)", kExclusionTimeLimitMs, 30000},
        {"Defender: reading the protection status (ms)", kStatusTimeLimitMs, 12000},
        {"security products: the walk's budget (ms)", kSecurityScanBudgetMs, 6000},
        {"files in use: all terminations together (ms)", kInUseWaitMs, 3000},
        {"product icons: smallest size never decoded (bytes)", kMaxIconBytes, 4194304},
        {"window: list repaint after worker status, one shot (ms)", kListRepaintDelayMs, 100},
        {"window: loading dots step (ms)", kLoadingStepMs, 80},
        {"window: agreement check box shake step (ms)", kAgreeShakeStepMs, 40},
        {"window: failure help link blink (ms)", kHelpBlinkMs, 600},
        {"window: failure help link blinks", static_cast<uint64_t>(kHelpBlinkTimes), 20},
        {"window: progress marquee step (ms)", kProgressMarqueeMs, 40},
    };
    for (const auto& c : cases) EXPECT_EQ(c.value, c.expected) << c.what;
}

}  // namespace
