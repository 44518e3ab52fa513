#include "engine/files_in_use.h"

#include "base/log.h"
#include "base/text_format.h"

void StartInUseList(InUseList& list, std::u16string_view busyFile) {
    list = InUseList();
    TextFormat(list.prompt,
               u"文件被占用：\r\n%s\r\n\r\n是否强制关闭以下软件进程并继续安装？\r\n未保存的内容可能丢失。\r\n",
               WideBuffer(busyFile));
}

bool AddInUseProcess(InUseList& list, std::u16string_view exeName, uint32_t processId) {
    if (list.count >= kMaxInUseProcesses) {
        list.overflow = true;
        return false;
    }
    TextFormat(list.prompt, u"\r\n%s（PID %u）", WideBuffer(exeName), processId);
    ++list.count;
    return true;
}

bool ShouldAskToClose(const InUseList& list) { return list.count > 0 && !list.overflow; }

uint32_t WaitTimeLeft(uint32_t start, uint32_t now, uint32_t limit) {
    uint32_t elapsed = now - start;  // unsigned: right across a wrap of the tick count
    return elapsed >= limit ? 0 : limit - elapsed;
}

void LogInUseOutcome(const InUseList& list, std::u16string_view pucType, std::u16string_view busyFile, bool agreed,
                     bool closed) {
    if (agreed) {
        LogLine(u"[Parcelwright] 用户确认关闭产品%s的%u个进程，结果：%s", WideBuffer(pucType), list.count,
                closed ? u"已关闭" : u"部分关闭失败");
    } else if (list.count == 0) {
        LogLine(u"[Parcelwright] 文件占用但未找到可安全归属到产品目录的进程：%s", WideBuffer(busyFile));
    }
}
