// Linux build: no install log exists, lines are kept in memory for tests.
#include "base/log.h"

std::vector<WideBuffer>& CapturedLogLines() {
    static std::vector<WideBuffer> lines;
    return lines;
}

void AppendLogLine(std::u16string_view message) { CapturedLogLines().emplace_back(message); }
