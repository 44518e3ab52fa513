// The install log: one timestamped UTF-8 line per event, appended to
// %LOCALAPPDATA%\TwParcelwright\logs\install.log, and the status path that
// sends the same line to the log and to the window.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "base/text_format.h"

struct ProductEntry;

struct LocalTime {
    int year, month, day, hour, minute, second;
};

// "[YYYY-MM-DD hh:mm:ss] " + message + CR LF, as UTF-8 without byte-order mark.
std::string ComposeLogLine(const LocalTime& time, std::u16string_view message);

// Writes one finished message (without time or line end) to the log. Never
// fails visibly: a line that cannot be written is dropped.
void AppendLogLine(std::u16string_view message);

template <typename... Args>
void LogLine(const char16_t* format, const Args&... args) {
    WideBuffer message;
    TextFormat(message, format, args...);
    AppendLogLine(message);
}

// Hands a status line to the window; returns false to stop the operation.
using StatusCallback = bool (*)(void* context, ProductEntry* product, const char16_t* text);

// Logs "[Parcelwright] <text>", then returns callback's answer (true without one).
bool ReportStatus(ProductEntry* product, const char16_t* text, StatusCallback callback, void* context);

// Only in the Linux build, where there is no log file: the lines logged so far,
// so tests can check them.
std::vector<WideBuffer>& CapturedLogLines();
