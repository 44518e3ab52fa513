// Opening installed programs at the end of a run: which products may be
// opened and how a main program that is no longer the installed file is
// classified. The integrity check and the start live in launch_win.
#pragma once

#include <cstdint>

#include "catalog/product.h"

// Failure kinds the report carries (see failure_report).
constexpr uint32_t kFailureMainProgramNotRunnable = 2;
constexpr uint32_t kFailureMainProgramMissing = 3;
constexpr uint32_t kFailureMainProgramChanged = 4;

// Installed in this run, with its transaction and a main program to start.
bool IsReadyToOpen(const ProductEntry& product);

// A main program that failed its check: replaced when a file is still there,
// otherwise removed.
uint32_t MainProgramFailureKind(bool mainProgramExists);
