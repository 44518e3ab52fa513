// Offering to close the programs that hold a product's file open: the prompt
// text, the capped list of owned processes, the shared wait deadline and the
// log lines. Snapshot, prompt box and termination live in files_in_use_win.
#pragma once

#include <cstdint>

#include "base/text.h"

// A longer list is never offered: nobody can check it in a message box.
constexpr uint32_t kMaxInUseProcesses = 128;
// One budget for all the waits after termination, however many processes.
constexpr uint32_t kInUseWaitMs = 3000;

struct InUseList {
    WideBuffer prompt;
    uint32_t count = 0;
    bool overflow = false;
};

// The prompt's opening lines, naming the busy file; the list starts empty.
void StartInUseList(InUseList& list, std::u16string_view busyFile);

// Adds one owned process to the list and its prompt line. False when the list
// is already full: it is then marked overflowing and collecting must stop.
bool AddInUseProcess(InUseList& list, std::u16string_view exeName, uint32_t processId);

// The user is asked only when something was found and all of it is listed.
bool ShouldAskToClose(const InUseList& list);

// Milliseconds left of limit since start (tick counts, which wrap); 0 once spent.
uint32_t WaitTimeLeft(uint32_t start, uint32_t now, uint32_t limit);

// The one log line an outcome gets: the result after the user agreed, or that
// no owned process was found. A refusal and an overflowing list log nothing.
void LogInUseOutcome(const InUseList& list, std::u16string_view pucType, std::u16string_view busyFile, bool agreed,
                     bool closed);
