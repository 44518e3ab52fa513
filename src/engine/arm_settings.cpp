#include "engine/arm_settings.h"

#include "base/log.h"

const char16_t kArmNotApplicableText[] = u"仅 ARM Windows 上的 x86 主程序适用这些设置。";
const char16_t kArmNotConfirmedText[] =
    u"未能确认 ARM 仿真设置已保存。请在主程序属性 → 兼容性 → 更改仿真设置中勾选高级设置、禁用混合执行模式、禁用 RWX "
    u"页面性能优化，然后重试打开。";

namespace {

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Read32(const uint8_t* p) { return Read16(p) | static_cast<uint32_t>(Read16(p + 2)) << 16; }

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint16_t kDll = 0x2000;
constexpr uint16_t kMagicPe32 = 0x010B;
constexpr uint32_t kFixedOptionalSize = 96;

}  // namespace

bool ReadPeHeaderOffset(const uint8_t* dos, size_t n, uint32_t& offset) {
    if (n < kDosHeaderSize || dos[0] != 'M' || dos[1] != 'Z') return false;
    offset = Read32(dos + 60);
    return offset >= kDosHeaderSize && offset < 0x1000000;
}

bool IsX86PeHead(const uint8_t* head, size_t n, uint32_t offset, uint64_t fileSize) {
    if (n < 24 || head[0] != 'P' || head[1] != 'E' || head[2] != 0 || head[3] != 0) return false;
    const uint8_t* fileHeader = head + 4;
    uint16_t machine = Read16(fileHeader), sections = Read16(fileHeader + 2);
    uint16_t optionalSize = Read16(fileHeader + 16), characteristics = Read16(fileHeader + 18);
    if (machine != kMachineI386 || sections < 1 || sections > 96) return false;
    if (!(characteristics & kExecutableImage) || (characteristics & kDll)) return false;
    if (optionalSize < kFixedOptionalSize) return false;
    // The offset is below 2^24, so none of these sums can overflow 64 bits.
    uint64_t tableEnd = uint64_t{offset} + 24 + optionalSize + 40ull * sections;
    if (fileSize < tableEnd) return false;
    if (n < kPeHeadSize) return false;
    const uint8_t* optional = head + 24;
    if (Read16(optional) != kMagicPe32) return false;
    if (Read32(optional + 92) > (optionalSize - kFixedOptionalSize) / 8) return false;
    uint32_t headersSize = Read32(optional + 60);
    return headersSize >= tableEnd && fileSize >= headersSize;
}

bool IsX86ExecutableImage(const uint8_t* file, size_t n) {
    uint32_t offset = 0;
    if (!ReadPeHeaderOffset(file, n, offset)) return false;
    size_t available = offset < n ? n - offset : 0;
    return IsX86PeHead(file + offset, available < kPeHeadSize ? available : kPeHeadSize, offset, n);
}

bool ArmElementNameMatches(std::u16string_view name, const char16_t* zh, const char16_t* en) {
    return ContainsNoCase(name, TextView(zh)) || ContainsNoCase(name, TextView(en));
}

namespace {

uint64_t Elapsed(const ArmDialogDriver& d, uint64_t start) { return d.now(d.context) - start; }

bool Find(const ArmDialogDriver& d, uintptr_t dialog, int type, ArmElementName name) {
    return d.findElement(d.context, dialog, type, name.zh, name.en);
}

// Polls until the dialog is gone; false when it outlives the limit.
bool WaitForDialogToClose(const ArmDialogDriver& d, uintptr_t dialog, uint32_t limitMs) {
    const uint64_t start = d.now(d.context);
    while (d.dialogExists(d.context, dialog)) {
        if (Elapsed(d, start) >= limitMs) return false;
        d.sleep(d.context, kArmPollMs);
    }
    return true;
}

bool SelectCompatibilityTab(const ArmDialogDriver& d, uintptr_t properties) {
    return FindElementPatiently(d, properties, kUiaTabItem, kArmCompatibilityTab) && d.select(d.context);
}

bool PressEmulationButton(const ArmDialogDriver& d, uintptr_t properties) {
    bool found = FindElementPatiently(d, properties, kUiaButton, kArmEmulationButton) ||
                 Find(d, properties, kUiaButton, kArmEmulationButtonAlt);
    return found && d.click(d.context);
}

bool TickOptions(const ArmDialogDriver& d, uintptr_t emulation) {
    for (const ArmElementName& option : kArmOptions) {
        if (!SetCheckBoxOn(d, emulation, option)) return false;
    }
    return true;
}

bool ConfirmEmulationDialog(const ArmDialogDriver& d, uintptr_t emulation) {
    if (!Find(d, emulation, kUiaButton, kArmConfirmButton) || !d.click(d.context)) return false;
    return WaitForDialogToClose(d, emulation, kArmEmulationCloseWaitMs);
}

// Apply is disabled when nothing changed; that is no failure.
bool ApplyAndConfirmProperties(const ArmDialogDriver& d, uintptr_t properties) {
    d.sleep(d.context, kArmBeforeApplyMs);
    bool enabled = false;
    if (Find(d, properties, kUiaButton, kArmApplyButton) && d.isEnabled(d.context, enabled) && enabled &&
        !d.click(d.context)) {
        return false;
    }
    if (!Find(d, properties, kUiaButton, kArmConfirmButton) || !d.click(d.context)) return false;
    return d.waitForThread(d.context, kArmThreadWaitMs);
}

}  // namespace

uintptr_t FindDialog(const ArmDialogDriver& d, uintptr_t excluded, uint32_t limitMs) {
    const uint64_t start = d.now(d.context);
    for (;;) {
        if (uintptr_t dialog = d.findDialog(d.context, excluded)) return dialog;
        if (d.threadEnded(d.context) || Elapsed(d, start) >= limitMs) return 0;
        d.sleep(d.context, kArmPollMs);
    }
}

bool FindElementPatiently(const ArmDialogDriver& d, uintptr_t dialog, int controlType, ArmElementName name) {
    const uint64_t start = d.now(d.context);
    while (d.dialogExists(d.context, dialog)) {
        if (Find(d, dialog, controlType, name)) return true;
        if (Elapsed(d, start) >= kArmElementWaitMs) return false;
        d.sleep(d.context, kArmPollMs);
    }
    return false;
}

bool SetCheckBoxOn(const ArmDialogDriver& d, uintptr_t dialog, ArmElementName name) {
    int state = 0;
    if (!FindElementPatiently(d, dialog, kUiaCheckBox, name) || !d.readToggleState(d.context, state)) return false;
    // A three-state box may pass through "indeterminate" on its way to on.
    for (int toggles = 0; state != kToggleOn && toggles < 2; ++toggles) {
        if (!d.toggle(d.context)) return false;
        d.sleep(d.context, kArmToggleSettleMs);
        if (!d.readToggleState(d.context, state)) return false;
    }
    return state == kToggleOn;
}

bool RunArmEmulationSteps(const ArmDialogDriver& d) {
    uintptr_t properties = FindDialog(d, 0, kArmPropertiesWaitMs);
    if (!properties || !SelectCompatibilityTab(d, properties) || !PressEmulationButton(d, properties)) return false;
    uintptr_t emulation = FindDialog(d, properties, kArmEmulationWaitMs);
    return emulation && TickOptions(d, emulation) && ConfirmEmulationDialog(d, emulation) &&
           ApplyAndConfirmProperties(d, properties);
}

bool ConcludeArmEmulationSettings(bool saved, std::u16string_view path, WideBuffer& error) {
    if (!saved) error = kArmNotConfirmedText;
    const WideBuffer pathText(path);
    LogLine(u"[Parcelwright] ARM兼容设置 %s：%s", saved ? u"已保存" : u"未完成", pathText.c_str());
    return saved;
}
