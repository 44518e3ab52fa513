#include "base/system_win.h"

#include "base/handles_win.h"
#include "base/text_format.h"
#include "base/wide_win.h"

void FormatSystemError(WideBuffer& buf, std::u16string_view prefix, DWORD code) {
    buf.assign(prefix);
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    UniqueLocalMemory owner(text);
    WideBuffer systemText;
    if (n != 0 && text) systemText.assign(U(text), n);
    TextFormat(buf, u"（错误 %u）%s", static_cast<uint32_t>(code), systemText);
}

bool IsCancelled(HANDLE event) {
    return event != nullptr && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}
