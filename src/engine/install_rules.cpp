#include "engine/install_rules.h"

#include "base/text_format.h"

bool OutsideProductFilter(uint32_t filter, std::u16string_view pucType) {
    if (filter == 0) return false;
    WideBuffer wanted;
    TextFormat(wanted, u"%u", filter);
    return pucType != wanted;
}

uint32_t ClassifyDeployFailure(PackageFormat format, std::u16string_view lastError, uint32_t currentKind) {
    bool missingMain = ContainsNoCase(lastError, u"未找到主程序");
    bool extraction = format == kFormatZip || missingMain || ContainsNoCase(lastError, u"解压失败") ||
                      ContainsNoCase(lastError, u"ZIP 格式");
    if (!extraction) return currentKind;
    return missingMain ? 3 : 4;
}
