#include "security/guide.h"

#include <algorithm>

#include "base/deployment.h"
#include "base/text_format.h"
#include "security/security_products.h"
#include "startup/dpi.h"

namespace {

struct GuideProduct {
    const char16_t* name;
    const char16_t* restoreSteps;  // how to restore a quarantined file in this product
    const char16_t* trustSteps;    // how to trust the install folder in this product
    const char16_t* note;          // third line of the subtitle above either page
};

struct GuideStepText {
    const char16_t* title;
    const char16_t* subtitle;  // null: composed
    const char16_t* body;      // null: composed or none
};

const GuideProduct kGuideProducts[kGuideProductCount] = {
    {u"360 安全卫士",
     u"1. 打开360安全卫士，进入“木马查杀”，查找“恢复区”。\r\n2. 按拦截时间和文件路径，找到本次安装的软件文件。\r\n3. 确认为误报后恢复该文件；没有记录时，完成下一步再返回安装列表重新下载。",
     u"1. 在“木马查杀”中查找“信任区”，进入已信任项目。\r\n2. 如有“添加目录”，选择下方安装目录；只支持添加文件时，选择被误报的程序文件。\r\n3. 确认信任列表中路径正确，返回安装列表重试；若同时装了360杀毒，还需分别处理。",
     u"不同版本入口可能不同；恢复区、信任区位置请以本机界面为准。"},
    {u"360 杀毒",
     u"1. 打开“360杀毒”，查找“隔离区”或已处理文件记录。\r\n2. 核对被隔离文件的名称、原始路径和拦截时间。\r\n3. 确认误报后选择恢复；若已永久删除，先完成下一步，再返回安装列表重试下载。",
     u"1. 打开360杀毒的设置，查找“文件白名单”或文件及目录白名单。\r\n2. 选择添加目录，指定下方安装目录；若只提供文件项，添加实际被误报的文件。\r\n3. 保存后检查路径；这是360杀毒的设置，不等同于360安全卫士的信任区。",
     u"官方操作指南为旧版；新版菜单尚未实机核验，找不到时请查看厂商帮助。"},
    {u"金山毒霸",
     u"1. 打开金山毒霸，在病毒查杀或处理记录中查找隔离文件。\r\n2. 对照原始路径和时间找到本次安装文件，查看拦截原因。\r\n3. 仅恢复确认误报的文件；如果文件已永久删除，完成信任设置后重新下载安装。",
     u"1. 参考官方说明：右上角设置中心 → 安全保护 → 信任设置。\r\n2. 进入信任区，通过添加文件入口选择被误报的程序；本机若提供文件夹选项，可选择下方专用目录。\r\n3. 确认列表已有对应路径，再返回安装列表重试。",
     u"官方教程为旧版；按钮和目录支持范围以本机版本为准，不要求先进行全盘扫描。"},
    {u"腾讯电脑管家",
     u"1. 打开腾讯电脑管家，查看病毒查杀中的处理记录或隔离项目。\r\n2. 查找本次安装文件；若有“恢复”或“找回文件”，先核对文件路径。\r\n3. 确认为误报后恢复；没有对应记录时，不要随意恢复其他文件，可完成下一步后重新下载。",
     u"1. 在电脑管家的杀毒页面或设置中查找“信任区”。\r\n2. 若提供“添加文件夹”，选择下方安装目录；否则使用“添加文件”选择被误报的程序。\r\n3. 核对列表路径并保存；若界面没有这些入口，请通过厂商帮助或客服联系确认。",
     u"腾讯官网未提供可核验的最新菜单教程；此处为入口查找指引，不保证所有版本名称一致。"},
    {u"Avast Free / Premium",
     u"1. 打开 Avast Antivirus → Protection（保护）→ Quarantine（隔离区）。\r\n2. 勾选对应文件，点击“…”查看操作。\r\n3. 确认误报后选择 Restore（恢复）；Restore and add exception 可同时恢复并添加例外。",
     u"1. 打开 Menu（菜单）→ Settings（设置）→ General（常规）→ Exceptions（例外）。\r\n2. 点击 Add exception（添加例外），按页面选择文件或文件夹，指定下方安装目录。\r\n3. 确认例外列表的路径正确，再返回安装列表重试下载或启动。",
     u"适用于 Avast Free Antivirus / Premium Security；Avast One 的入口不同，请查看其官方说明。"},
    {u"其他杀毒软件",
     u"1. 打开正在使用的杀毒软件，查找隔离区、保护历史或处理记录。\r\n2. 按文件名、原始路径和拦截时间定位本次安装文件。\r\n3. 查看拦截原因，确认误报后恢复；无法恢复时，完成下一步后重新下载。",
     u"1. 在杀毒软件设置中查找白名单、信任区、例外或排除项。\r\n2. 添加被误报的文件；需要目录时，只选择下方专用安装目录，不要添加整个磁盘。\r\n3. 保存并检查路径，返回安装列表重试；仍有拦截时记录提示内容并联系客服。",
     u"各厂商名称不同；受单位策略管理的设备请联系管理员，不要关闭整个防护。"},
};

const GuideStepText kGuideSteps[kGuideStepCount] = {
    {u"选择您遇到的问题",
     u"选择一项现象，按步骤检查；处理后可返回安装列表重试。",
     nullptr},
    {u"正在识别当前安全防护",
     u"请稍候，正在读取 Windows 防护状态，不会修改安全设置。",
     u"若无法识别，我们会让您手动选择 Windows 安全中心或第三方安全软件。"},
    {u"请选择正在使用的安全软件",
     u"未能确定防护状态，请根据本机实际情况选择；不确定时可联系客服。",
     nullptr},
    {u"手动打开 Windows 安全中心",
     u"无法自动打开时，请从开始菜单进入系统“设置”。",
     nullptr},
    {u"临时关闭实时保护，排查文件拦截",
     u"将为您自动<a id=\"open\">打开 Windows 安全中心</a>，未打开请<a id=\"manual\">查看手动步骤</a>。",
     u"确认误报后，可临时关闭“实时保护”；排查完成后请重新开启。"},
    {u"将专用安装目录加入排除项",
     u"只添加您选择的软件目录，不要排除整个磁盘或系统目录。",
     u"管理设置 → 排除项 → 添加或删除排除项 → 添加排除项 → 文件夹。选择下方专用安装目录；也可以点击“复制目录”后粘贴。"},
    {u"重新开启实时保护",
     u"添加目录后，请恢复您曾临时关闭的防护开关。",
     u"回到“病毒和威胁防护”→“管理设置”，将“实时保护”重新开启。随后重新下载或恢复确认可信的文件，再检查软件能否正常打开。"},
    {u"点击“更多信息”，展开拦截详情",
     u"重新打开软件，等待“Windows 已保护你的电脑”提示出现。",
     u"在系统提示中点击“更多信息”，查看应用和发布者信息。只有确认文件来自官网且可信时，再继续下一步；不同系统版本可能显示“详细信息”。"},
    {u"点击“仍要运行”，尝试启动软件",
     u"该按钮在展开“更多信息”后显示，由您自行决定是否运行。",
     u"确认软件来源后，点击提示下方的“仍要运行”。如果没有此按钮，可能存在组织策略或其他限制；请返回问题列表或联系客服，不要更改系统安全策略来强行绕过。"},
    {u"检查智能应用控制设置",
     u"将自动请求打开“应用和浏览器控制”，请在系统窗口点击“智能应用控制设置”。",
     u"未自动打开时，请从系统设置进入：\r\n1. 开始 → 设置 → 隐私和安全性 → Windows 安全中心。\r\n2. 点击“打开 Windows 安全中心”→“应用和浏览器控制”。\r\n3. 点击“智能应用控制设置”，查看拦截提示并按本机说明决定如何处理。\r\nWindows 10没有此功能；部分 Windows 11设备也不显示。关闭后能否重新开启以系统提示为准，安装器不会替您更改开关。"},
    {u"恢复被拦截的软件文件",
     nullptr,
     nullptr},
    {u"为软件添加信任",
     nullptr,
     nullptr},
    {u"确认软件是否能正常使用",
     u"请重新尝试打开软件，确认文件不再被删除或莫名丢失。",
     u"是否仍存在无权限、无法打开、文件丢失或提示文件不存在的情况？仍有问题可返回重新排查；已解决后关闭此窗口，返回安装列表点击“重试”。"},
    {u"您安装了第三方杀毒软件",
     nullptr,
     nullptr},
    {u"正在识别您的杀毒软件",
     u"正在读取 Windows 登记的安全产品，仅检查名称，不修改防护设置。",
     u"检测完成后会优先进入对应软件的引导；也可以返回后手动选择。"},
};

const char16_t kManualPathSmartAppControl[] =
    u"开始 → 设置 → 隐私和安全性 → Windows 安全中心 → 打开 Windows 安全中心 → 应用和浏览器控制 → 智能应用控制设置。该功能适用于部分 Windows 11 设备，Windows 10 不提供；没有此项时请返回问题列表或联系客服。";
const char16_t kManualPathDefender[] =
    u"开始 → 设置 → 隐私和安全性（Windows 10为“更新和安全”）→ Windows 安全中心 → 打开 Windows 安全中心 → 病毒和威胁防护 → 管理设置。也可从开始菜单搜索 Windows 安全中心。";

const char16_t kDetectionIncomplete[] = u"自动检测未完成，请选择实际使用的软件；已读到的产品会标注。";
const char16_t kDetectionFound[] = u"已检测到下方标记的安全产品，请选择本次拦截文件的软件。";
const char16_t kDetectionNone[] = u"未识别到已登记的第三方产品，请手动选择；这不代表电脑没有杀毒软件。";

const char16_t kSecurityLinkFailed[] =
    u"无法打开 Windows 安全中心，请从开始菜单搜索“Windows 安全中心”，或按下方路径手动进入。";
const char16_t kAppBrowserOpenFailed[] = u"无法自动打开 Windows 安全中心，请按下方步骤从系统设置手动进入。";
const char16_t kThreatSettingsOpenFailed[] =
    u"无法自动打开 Windows 安全中心，请从开始菜单搜索“Windows 安全中心”，或按下方路径手动进入。";

const char16_t* const kProblemCaptions[4] = {
    u"1  文件被删除、丢失，或打开提示无权限",
    u"2  Windows 已保护你的电脑",
    u"3  智能应用控制已阻止软件",
    u"4  第三方杀毒软件 / 其他问题",
};

uint32_t StepOf(uint32_t step) { return step < kGuideStepCount ? step : 0; }

GuideEffect Enter(GuideModel& model, uint32_t step) {
    GuideEffect effect;
    model.step = step;
    effect.entered = true;
    effect.refresh = true;
    if (step == 9) effect.post = GuideEffect::kOpenAppBrowser;
    if (step == 4) effect.post = GuideEffect::kOpenThreatSettings;
    return effect;
}

// A full stack drops the entry; moving on still works.
GuideEffect PushAndGo(GuideModel& model, uint32_t step) {
    if (model.historyCount < kGuideHistoryLimit) model.history[model.historyCount++] = model.step;
    return Enter(model, step);
}

GuideEffect SetDirectly(GuideModel& model, uint32_t step) {
    GuideEffect effect;
    model.step = step;
    effect.refresh = true;
    return effect;
}

GuideEffect StartDefenderCheck(GuideModel& model) {
    ++model.generation;
    GuideEffect effect = PushAndGo(model, 1);
    effect.thread = GuideEffect::kDefenderThread;
    return effect;
}

GuideEffect StartProductDetection(GuideModel& model) {
    ++model.generation;
    model.detectedMask = 0;
    GuideEffect effect = PushAndGo(model, 14);
    effect.thread = GuideEffect::kProductThread;
    return effect;
}

WideBuffer Format(const char16_t* format, const char16_t* a, const char16_t* b, const char16_t* c) {
    WideBuffer out;
    TextFormat(out, format, a, b, c);
    return out;
}

const GuideProduct& ProductOf(int32_t row) {
    return kGuideProducts[row >= 0 && row < kGuideProductCount ? row : kGuideProductCount - 1];
}

WideBuffer BlogArticle(const char16_t* number) {
    WideBuffer url = kVendorBlogOrigin;
    url += u"/";
    url += number;
    url += u".html";
    return url;
}

// The space kept below the picture area, and the body's height, per step.
int32_t ReserveBelowPicture(uint32_t step) {
    switch (step) {
        case 10: case 11: return 295;
        case 12: return 260;
        case 9: return 248;
        case 5: return 225;
        case 4: case 6: return 180;
        default: return 148;
    }
}

int32_t BodyHeight(uint32_t step) {
    switch (step) {
        case 10: case 11: return 175;
        case 9: return 155;
        case 12: return 68;
        case 4: case 5: case 6: return 56;
        default: return 64;
    }
}

}  // namespace

const char16_t kGuideDefaultFolder[] = u"D:\\Tarnwick软件";
const char16_t kGuideWindowCaption[] = u"Tarnwick软件 · 安装与运行问题排查";
const char16_t kGuideHeader[] = u"Tarnwick软件  /  安装与运行问题排查";
const char16_t kGuideCopyLinkText[] = u"<a>复制目录</a>";

GuideEffect GuideOption(GuideModel& model, int index) {
    if (index < 0 || index >= kGuideOptionCount) return {};
    if (model.step == 14) {
        if (index != 5) return {};
        // The user stops waiting: a late detection result must not move the page.
        ++model.generation;
        return SetDirectly(model, 13);
    }
    if (model.step == 13) {
        model.selectedProduct = index;
        return PushAndGo(model, 10);
    }
    if (model.step == 2) {
        if (index == 0) return PushAndGo(model, 4);
        if (index == 1) return StartProductDetection(model);
        return {};
    }
    switch (index) {
        case 0: return StartDefenderCheck(model);
        case 1: return PushAndGo(model, 7);
        case 2: return PushAndGo(model, 9);
        case 3: return StartProductDetection(model);
        default: return {};
    }
}

GuideEffect GuideBack(GuideModel& model) {
    if (model.historyCount <= 0) return {};
    uint32_t step = StepOf(model.history[--model.historyCount]);
    return Enter(model, step == 1 ? 0 : step);
}

GuideEffect GuideBackToList(GuideModel& model) {
    model.historyCount = 0;
    ++model.generation;
    return SetDirectly(model, 0);
}

GuideEffect GuideNext(GuideModel& model) {
    switch (model.step) {
        case 0: case 12: {
            GuideEffect effect;
            effect.close = true;
            return effect;
        }
        case 3: return PushAndGo(model, StepOf(model.returnStep));
        case 4: return PushAndGo(model, 5);
        case 5: return PushAndGo(model, 6);
        case 6: case 8: case 9: case 11: return PushAndGo(model, 12);
        case 7: return PushAndGo(model, 8);
        case 10: return PushAndGo(model, 11);
        default: return PushAndGo(model, 0);
    }
}

GuideEffect GuideManualSteps(GuideModel& model) {
    model.returnStep = model.step;
    return PushAndGo(model, 3);
}

bool GuideOpenSecurityWantsAppBrowser(GuideModel& model) {
    model.returnStep = model.step;
    return model.step == 9;
}

GuideEffect GuideOpenSecurityFailed(GuideModel& model) {
    GuideEffect effect = PushAndGo(model, 3);
    effect.subtitle = kSecurityLinkFailed;
    return effect;
}

GuideEffect GuideDefenderResult(GuideModel& model, uintptr_t status, uintptr_t generation) {
    if (generation != model.generation || model.step != 1) return {};
    return Enter(model, status == 2 ? 4 : 2);
}

GuideEffect GuideProductsResult(GuideModel& model, uintptr_t mask, uintptr_t generation) {
    if (generation != model.generation || (model.step != 14 && model.step != 1)) return {};
    model.detectedMask = static_cast<uint32_t>(mask);
    model.step = 13;
    if (!(model.detectedMask & kSecurityIncomplete)) {
        uint32_t products = model.detectedMask & 0x3F;
        if (products != 0 && (products & (products - 1)) == 0 && products != kSecurityOther) {
            int32_t row = 0;
            while (!(products & (1u << row))) ++row;
            model.selectedProduct = row;
            return PushAndGo(model, 10);
        }
    }
    GuideEffect effect;
    effect.refresh = true;
    return effect;
}

bool GuideAcceptsOpen(const GuideModel& model, uint32_t message, uintptr_t generation) {
    if (generation != model.generation) return false;
    if (message == kGuideOpenAppBrowser) return model.step == 9;
    if (message == kGuideOpenThreatSettings) return model.step == 4;
    return false;
}

GuideEffect GuideOpenFailed(GuideModel& model, uint32_t message) {
    if (message == kGuideOpenAppBrowser) {
        GuideEffect effect;
        effect.subtitle = kAppBrowserOpenFailed;
        return effect;
    }
    model.returnStep = 4;
    GuideEffect effect = PushAndGo(model, 3);
    effect.subtitle = kThreatSettingsOpenFailed;
    return effect;
}

GuideEffect GuideThreadNotStarted(GuideModel& model, GuideEffect::Thread thread) {
    if (thread == GuideEffect::kDefenderThread) return SetDirectly(model, 2);
    model.detectedMask = kSecurityIncomplete;
    return SetDirectly(model, 13);
}

GuidePage GuidePageFor(const GuideModel& model) {
    uint32_t step = StepOf(model.step);
    const GuideStepText& text = kGuideSteps[step];
    const GuideProduct& product = ProductOf(model.selectedProduct);
    GuidePage page;
    page.title = text.title;
    if (text.subtitle) page.subtitle = text.subtitle;
    if (text.body) page.body = text.body;
    if (step == 3) page.body = model.returnStep == 9 ? kManualPathSmartAppControl : kManualPathDefender;
    if (step == 10 || step == 11) {
        page.subtitle = Format(u"%s · %s\r\n%s", product.name, step == 10 ? u"第1步 / 恢复文件" : u"第2步 / 添加信任",
                               product.note);
        page.body = step == 10 ? product.restoreSteps : product.trustSteps;
        page.subtitleSmall = true;
    }
    if (step == 13) {
        page.subtitle = (model.detectedMask & kSecurityIncomplete) ? kDetectionIncomplete
                        : model.detectedMask != 0                 ? kDetectionFound
                                                                  : kDetectionNone;
    }
    page.subtitleIsLink = step == 4;
    page.bodyVisible = step != 0 && step != 2;

    int options = step == 0 ? 4 : step == 2 ? 2 : step == 13 ? 6 : 0;
    for (int i = 0; i < options; ++i) page.optionVisible[i] = true;
    if (step == 14) page.optionVisible[5] = true;
    for (int i = 0; i < kGuideOptionCount; ++i) {
        if (step == 0 && i < 4) page.optionCaption[i] = kProblemCaptions[i];
        if (step == 2 && i < 2) page.optionCaption[i] = i == 0 ? u"Windows 安全中心" : u"第三方安全软件";
        if (step == 13) {
            page.optionCaption[i] = kGuideProducts[i].name;
            if (model.detectedMask & (1u << i)) page.optionCaption[i] += u"（已检测）";
        }
    }
    if (step == 14) page.optionCaption[5] = u"手动选择杀毒软件";

    page.vendorHelpVisible = step == 10 || step == 11;
    page.openSecurityVisible = page.manualVisible = step == 5 || step == 6 || step == 9;
    page.openSecurityText = step == 9 ? u"<a>重新打开安全中心</a>" : u"<a>打开 Windows 安全中心</a>";
    page.folderVisible = step == 5 || step == 11;
    page.backVisible = model.historyCount > 0;
    page.backToListVisible = step != 0;
    page.backToListCaption = step == 12 ? u"仍有问题" : u"返回问题列表";
    page.nextVisible = step != 1 && step != 2 && step != 13 && step != 14;
    page.nextCaption = step == 0 ? u"关闭" : step == 12 ? u"已解决" : step == 3 ? u"我已打开，继续" : u"下一步";
    page.tutorialsVisible = step == 12;
    page.pictureResource = step >= 3 && step <= 12 ? static_cast<int>(98 + step) : 0;
    return page;
}

WideBuffer GuideLinkAddress(int id, int32_t selectedProduct) {
    WideBuffer url;
    switch (id) {
        case kGuideContactLink: return VendorContactUrl();
        case kGuideTutorialLink: return BlogArticle(u"6046");
        case kGuideTutorialLink + 1: return BlogArticle(u"4980");
        case kGuideTutorialLink + 2: return BlogArticle(u"2328");
        case kGuideVendorHelpLink: break;
        default: return url;
    }
    switch (selectedProduct) {
        case 0: url = kSafeguardHelpOrigin; url += u"/"; break;
        case 1: url = kAntivirusHelpOrigin; url += u"/support.html"; break;
        case 2: url = kKingsoftHelpOrigin; url += u"/soft/paper_202006291931.shtml"; break;
        case 3: url = kTencentHelpOrigin; url += u"/"; break;
        case 4: url = kAvastHelpOrigin; url += u"/article/antivirus-scan-exclusions/"; break;
        default: url = BlogArticle(u"2328"); break;
    }
    return url;
}

GuideLayout GuideLayoutFor(uint32_t step, int32_t clientWidth, int32_t clientHeight, uint32_t dpi) {
    if (dpi == 0) dpi = 96;
    const int32_t W = MulDivRound(clientWidth, 96, static_cast<int32_t>(dpi));
    const int32_t H = MulDivRound(clientHeight, 96, static_cast<int32_t>(dpi));
    const int32_t R = ReserveBelowPicture(step);
    GuideLayout l;
    l.header = {ScaleUnits(28, dpi), ScaleUnits(12, dpi), ScaleUnits(W - 28, dpi), ScaleUnits(32, dpi)};
    l.title = PlaceScaled(28, 42, W - 56, 32, dpi);
    l.subtitle = PlaceScaled(28, 86, W - 56, 44, dpi);
    for (int i = 0; i < kGuideOptionCount; ++i) {
        if (step == 13) {
            l.options[i] = PlaceScaled(i % 2 == 0 ? 28 : 28 + (W - 40) / 2, 142 + 94 * (i / 2), (W - 72) / 2, 80, dpi);
        } else if (step == 14 && i == 5) {
            l.options[i] = PlaceScaled(28, 142, W - 56, 48, dpi);
        } else {
            l.options[i] = PlaceScaled(28, 142 + 74 * i, W - 56, 64, dpi);
        }
    }
    l.body = PlaceScaled(28, H + 14 - R, W - 56, BodyHeight(step), dpi);
    l.folder = PlaceScaled(28, H - 146, W - 56, 30, dpi);
    l.vendorHelp = PlaceScaled(28, H - 96, W - 56, 26, dpi);
    l.openSecurity = PlaceScaled(28, H - 96, 176, 26, dpi);
    l.manual = PlaceScaled(220, H - 96, W - 248, 26, dpi);
    l.contact = PlaceScaled(28, H - 54, 88, 30, dpi);
    l.copy = PlaceScaled(124, H - 54, 100, 30, dpi);
    l.back = PlaceScaled(W - 432, H - 58, 86, 34, dpi);
    l.backToList = PlaceScaled(W - 334, H - 58, 136, 34, dpi);
    l.next = PlaceScaled(W - 184, H - 58, 156, 34, dpi);
    for (int i = 0; i < 3; ++i) l.tutorials[i] = PlaceScaled(28, H - 190 + 22 * i, W - 56, 22, dpi);
    l.pictureArea = {ScaleUnits(28, dpi), ScaleUnits(128, dpi), ScaleUnits(W - 28, dpi), ScaleUnits(H - R, dpi)};
    l.pictureLineY = l.pictureArea.bottom + ScaleUnits(7, dpi);
    l.bottomLineY = clientHeight - ScaleUnits(74, dpi);
    // The body stops where the first thing below it on this step begins: its
    // white background would otherwise cover the folder box, the links or the rule.
    const int32_t below = (step == 5 || step == 11)                 ? l.folder.top
                          : (step == 6 || step == 9 || step == 10) ? l.manual.top
                          : step == 12                              ? l.tutorials[0].top
                                                                    : l.bottomLineY;
    l.body.bottom = std::max(l.body.top, std::min(l.body.bottom, below));
    return l;
}

PixelRect GuidePictureRect(const PixelRect& area) {
    const int32_t areaWidth = area.right - area.left;
    const int32_t areaHeight = area.bottom - area.top;
    if (areaWidth <= 0 || areaHeight <= 0) return {area.left, area.top, area.left, area.top};
    // Always 2:1: stretching to the area's width would distort the picture.
    const int32_t height = std::min(areaHeight, areaWidth / 2);
    const int32_t width = 2 * height;
    PixelRect r;
    r.left = area.left + (areaWidth - width) / 2;
    r.top = area.top + (areaHeight - height) / 2;
    r.right = r.left + width;
    r.bottom = r.top + height;
    return r;
}

uint32_t GuideFitDpi(uint32_t dpi, int32_t workWidth, int32_t workHeight) {
    const int32_t fit = std::min(MulDivRound(workWidth - 24, 96, 780), MulDivRound(workHeight - 24, 96, 660));
    if (fit >= static_cast<int64_t>(dpi)) return dpi;
    return static_cast<uint32_t>(std::max<int32_t>(fit, 72));
}
