#include "prereq/prerequisite_install.h"

#include "base/log.h"
#include "catalog/http.h"
#include "catalog/product.h"
#include "prereq/prerequisites.h"

const char16_t kDismArguments[] = u"/Online /Enable-Feature /FeatureName:NetFx3 /All /NoRestart";

PrerequisiteMethod ChoosePrerequisiteMethod(int row, bool windows64Bit, uint32_t buildNumber) {
    if (kPrerequisites[row].needs64BitWindows && !windows64Bit) return PrerequisiteMethod::kSkipNot64Bit;
    // An unknown build (0) is an older Windows: the feature is the safe way.
    if (row == 0 && buildNumber <= kLastDismBuild) return PrerequisiteMethod::kDism;
    return PrerequisiteMethod::kDownload;
}

bool IsAcceptedInstallerExit(uint32_t code) {
    return code == 0 || code == 1638 || code == 1641 || code == 3010 || code == 2147944038u;
}

bool ExitNeedsRestart(uint32_t code) { return code == 1641 || code == 3010; }

bool AnnouncedSizeTooLarge(std::u16string_view contentLength) {
    return ParseContentLength(contentLength) > kPrerequisiteSizeLimit;
}

bool ReceivedSizeAbnormal(uint64_t received, uint64_t announced) {
    return received > kPrerequisiteSizeLimit || (announced != 0 && received > announced);
}

WideBuffer DirectXUnpackArguments(std::u16string_view folder) {
    return u"/Q /T:\"" + WideBuffer(folder) + u"\"";
}

void AddPrerequisiteWarning(ProductEntry& product, int row, std::u16string_view text) {
    const WideBuffer name = kPrerequisites[row].displayName;
    const WideBuffer shown = text.empty() ? WideBuffer(u"安装未完成") : WideBuffer(text);
    if (!product.env_warnings.empty()) product.env_warnings += u"；";
    TextFormat(product.env_warnings, u"%s：%s", name, shown);
    LogLine(u"[Parcelwright] 环境程序安装警告：%s：%s", name, shown);
}
