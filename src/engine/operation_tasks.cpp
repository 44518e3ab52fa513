#include "engine/operation_tasks.h"

bool InScope(const ProductEntry& product, int32_t row, int32_t rowFilter) {
    if (!product.selected) return false;
    if (rowFilter >= 0) return row == rowFilter;
    if (rowFilter == -2) return product.failed;
    return true;
}

WideBuffer ProductRoot(const ProductEntry& product, std::u16string_view installRoot) {
    return product.installed && !product.installed_root.empty() ? product.installed_root : WideBuffer(installRoot);
}

WideBuffer DefenderWarningText(std::u16string_view errors) {
    return u"以下安装目录未能自动加入 Microsoft Defender 排除项，安装将继续：\r\n\r\n" + WideBuffer(errors) +
           u"\r\n\r\n若错误提示策略阻止，可能由 Windows 篡改防护或组织策略限制。可手动进入：Windows 安全中心 → "
           u"病毒和威胁防护 → 管理设置 → 排除项 → 添加或删除排除项 → 添加文件夹。";
}
