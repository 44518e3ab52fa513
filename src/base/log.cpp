// Line composition and the status path; the file write itself is per platform.
#include "base/log.h"

std::string ComposeLogLine(const LocalTime& t, std::u16string_view message) {
    WideBuffer line;
    TextFormat(line, u"[%04d-%02d-%02d %02d:%02d:%02d] ", t.year, t.month, t.day, t.hour,
               t.minute, t.second);
    line.append(message);
    line.append(u"\r\n");
    return WideToUtf8(line);
}

bool ReportStatus(ProductEntry* product, const char16_t* text, StatusCallback callback, void* context) {
    LogLine(u"[Parcelwright] %s", text);
    return callback ? callback(context, product, text) : true;
}
