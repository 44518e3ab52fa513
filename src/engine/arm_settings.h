// Switching on the x86 emulation options of a program on ARM64 Windows. There
// is no programming interface for them, only the file's Properties dialog, so
// the order of actions on that dialog and its time limits are decided here,
// over a driver that the Windows side backs with UI Automation and tests with
// a fake dialog and clock. The PE header test lives here too, over bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/text.h"

// ---- The PE header test -------------------------------------------------

constexpr size_t kDosHeaderSize = 64;
// Signature, file header and the fixed start of a PE32 optional header.
constexpr size_t kPeHeadSize = 4 + 20 + 96;

// The header offset from the first 64 bytes of a file: "MZ", then an offset
// of at least 64 and below 0x1000000.
bool ReadPeHeaderOffset(const uint8_t* dos, size_t n, uint32_t& offset);

// The headers read at offset (n bytes, fewer when the file ends early) describe
// a 32-bit x86 executable that is not a DLL and fits into fileSize bytes.
bool IsX86PeHead(const uint8_t* head, size_t n, uint32_t offset, uint64_t fileSize);

// Both steps over a whole file held in memory.
bool IsX86ExecutableImage(const uint8_t* file, size_t n);

// ---- The dialog's vocabulary and time limits ----------------------------

constexpr int kUiaTabItem = 50019;
constexpr int kUiaButton = 50000;
constexpr int kUiaCheckBox = 50002;

struct ArmElementName {
    const char16_t* zh;
    const char16_t* en;
};

constexpr ArmElementName kArmCompatibilityTab = {u"兼容性", u"Compatibility"};
constexpr ArmElementName kArmEmulationButton = {u"更改仿真", u"Change emulation"};
constexpr ArmElementName kArmEmulationButtonAlt = {u"更改模拟", u"Change emulation"};
constexpr ArmElementName kArmOptions[3] = {
    {u"使用高级设置", u"Use advanced settings"},
    {u"禁用混合执行模式", u"Disable hybrid execution mode"},
    {u"禁用RWX页面性能优化", u"Disable RWX page performance optimization"},
};
constexpr ArmElementName kArmConfirmButton = {u"确定", u"OK"};
constexpr ArmElementName kArmApplyButton = {u"应用", u"Apply"};

constexpr uint32_t kArmPollMs = 80;
constexpr uint32_t kArmPropertiesWaitMs = 6000;
constexpr uint32_t kArmEmulationWaitMs = 5000;
constexpr uint32_t kArmElementWaitMs = 4000;
constexpr uint32_t kArmToggleSettleMs = 100;
constexpr uint32_t kArmEmulationCloseWaitMs = 4000;
constexpr uint32_t kArmBeforeApplyMs = 200;
constexpr uint32_t kArmThreadWaitMs = 3000;

constexpr int kToggleOn = 1;

extern const char16_t kArmNotApplicableText[];
extern const char16_t kArmNotConfirmedText[];

// The current name of an element matches when it contains zh or, when given,
// en, without regard to ASCII case; an empty text never matches.
bool ArmElementNameMatches(std::u16string_view name, const char16_t* zh, const char16_t* en);

// ---- The driver -----------------------------------------------------------

// Dialogs are window handles as numbers, 0 for none. The element operations
// act on the element the last successful findElement found.
struct ArmDialogDriver {
    void* context;
    uint64_t (*now)(void* context);  // milliseconds
    void (*sleep)(void* context, uint32_t ms);
    bool (*threadEnded)(void* context);
    // True when the dialog thread ended within limitMs.
    bool (*waitForThread)(void* context, uint32_t limitMs);
    // One look at the top-level windows: a visible "#32770" of this process
    // owned (through its owner chain) by excluded, or by the owner window when
    // excluded is 0.
    uintptr_t (*findDialog)(void* context, uintptr_t excluded);
    bool (*dialogExists)(void* context, uintptr_t dialog);
    bool (*findElement)(void* context, uintptr_t dialog, int controlType, const char16_t* zh, const char16_t* en);
    bool (*select)(void* context);
    bool (*click)(void* context);
    bool (*readToggleState)(void* context, int& state);
    bool (*toggle)(void* context);
    bool (*isEnabled)(void* context, bool& enabled);
};

uintptr_t FindDialog(const ArmDialogDriver& driver, uintptr_t excluded, uint32_t limitMs);
bool FindElementPatiently(const ArmDialogDriver& driver, uintptr_t dialog, int controlType, ArmElementName name);
bool SetCheckBoxOn(const ArmDialogDriver& driver, uintptr_t dialog, ArmElementName name);

// From finding the Properties dialog to the end of its thread; true only when
// every step was confirmed.
bool RunArmEmulationSteps(const ArmDialogDriver& driver);

// Sets error to the not-confirmed text on failure and logs the outcome.
bool ConcludeArmEmulationSettings(bool saved, std::u16string_view path, WideBuffer& error);
