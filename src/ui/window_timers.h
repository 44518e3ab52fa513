// The periods of the main window's timers and animations, in milliseconds.
#pragma once

#include <cstdint>

constexpr uint32_t kListRepaintDelayMs = 100;  // one shot: worker bursts repaint the list at most this often
constexpr uint32_t kLoadingStepMs = 80;        // the loading dots move one place
constexpr uint32_t kAgreeShakeStepMs = 40;     // the agreement check box moves once
constexpr uint32_t kHelpBlinkMs = 600;         // the failure help link changes colour
constexpr int32_t kHelpBlinkTimes = 20;        // then it stays still: twelve seconds in all
constexpr uint32_t kProgressMarqueeMs = 40;    // the progress bar's marquee while nothing is measured
