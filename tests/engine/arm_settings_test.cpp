#include "engine/arm_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/log.h"

namespace {

// ---- PE headers -----------------------------------------------------------

// A minimal PE32 executable: DOS header, headers at offset, one field each.
struct PeShape {
    uint8_t mz[2] = {'M', 'Z'};
    uint32_t offset = 0x80;      // where the headers are written
    int64_t lfanew = -1;         // the stored header offset, when not offset
    uint8_t signature[4] = {'P', 'E', 0, 0};
    uint16_t machine = 0x014C, sections = 1, characteristics = 0x0102, optionalSize = 224, magic = 0x010B;
    uint32_t rvaCount = 16;
    int64_t headersBeyondTable = 0;  // SizeOfHeaders minus the end of the section table
    int64_t fileSize = -1;           // default: exactly SizeOfHeaders
};

void Put16(ByteBuffer& b, size_t at, uint16_t v) { b[at] = v & 0xFF; b[at + 1] = v >> 8; }
void Put32(ByteBuffer& b, size_t at, uint32_t v) { Put16(b, at, v & 0xFFFF); Put16(b, at + 2, v >> 16); }

ByteBuffer BuildPe(const PeShape& s) {
    const uint64_t tableEnd = s.offset + 24 + s.optionalSize + 40ull * s.sections;
    const uint32_t headersSize = static_cast<uint32_t>(tableEnd + s.headersBeyondTable);
    ByteBuffer file(std::max<uint64_t>(tableEnd, headersSize) + 128);
    file[0] = s.mz[0];
    file[1] = s.mz[1];
    Put32(file, 60, s.lfanew >= 0 ? static_cast<uint32_t>(s.lfanew) : s.offset);
    const size_t h = s.offset;
    std::copy(s.signature, s.signature + 4, file.begin() + h);
    Put16(file, h + 4, s.machine);            // file header: Machine
    Put16(file, h + 6, s.sections);           // NumberOfSections
    Put16(file, h + 20, s.optionalSize);      // SizeOfOptionalHeader
    Put16(file, h + 22, s.characteristics);   // Characteristics
    Put16(file, h + 24, s.magic);             // optional header: Magic
    Put32(file, h + 24 + 60, headersSize);    // SizeOfHeaders
    Put32(file, h + 24 + 92, s.rvaCount);     // NumberOfRvaAndSizes
    file.resize(s.fileSize >= 0 ? static_cast<size_t>(s.fileSize) : headersSize);
    return file;
}

struct PeCase {
    const char* name;
    void (*mutate)(PeShape&);
    bool x86;
};

const PeCase kPeCases[] = {
    {"valid", [](PeShape&) {}, true},
    {"mz lower case", [](PeShape& s) { s.mz[0] = 'm'; s.mz[1] = 'z'; }, false},
    {"zm", [](PeShape& s) { s.mz[0] = 'Z'; s.mz[1] = 'M'; }, false},
    {"mx", [](PeShape& s) { s.mz[1] = 'X'; }, false},
    {"offset 63, inside the DOS header", [](PeShape& s) { s.offset = 63; }, false},
    {"offset 64", [](PeShape& s) { s.offset = 64; }, true},
    {"offset 65: no alignment rule", [](PeShape& s) { s.offset = 65; }, true},
    {"offset just below 16 MiB", [](PeShape& s) { s.offset = 0xFFFFFF; }, true},
    {"offset 16 MiB with headers there", [](PeShape& s) { s.offset = 0x1000000; }, false},
    {"offset negative as a signed value", [](PeShape& s) { s.lfanew = 0xFFFFFFF0; }, false},
    {"offset 2 GiB", [](PeShape& s) { s.lfanew = 0x80000000; }, false},
    {"offset past the end of the file", [](PeShape& s) { s.lfanew = 0x10000; }, false},
    {"signature PE\\0\\1", [](PeShape& s) { s.signature[3] = 1; }, false},
    {"signature pe", [](PeShape& s) { s.signature[0] = 'p'; s.signature[1] = 'e'; }, false},
    {"machine x64", [](PeShape& s) { s.machine = 0x8664; }, false},
    {"machine ARM64", [](PeShape& s) { s.machine = 0xAA64; }, false},
    {"machine 0x14D", [](PeShape& s) { s.machine = 0x014D; }, false},
    {"no sections", [](PeShape& s) { s.sections = 0; }, false},
    {"96 sections", [](PeShape& s) { s.sections = 96; }, true},
    {"97 sections", [](PeShape& s) { s.sections = 97; }, false},
    {"not an executable image", [](PeShape& s) { s.characteristics = 0x0100; }, false},
    {"a DLL", [](PeShape& s) { s.characteristics = 0x2102; }, false},
    {"optional header 95 bytes", [](PeShape& s) { s.optionalSize = 95; s.rvaCount = 0; }, false},
    {"optional header 96 bytes, no directories", [](PeShape& s) { s.optionalSize = 96; s.rvaCount = 0; }, true},
    {"optional header 96 bytes, one directory", [](PeShape& s) { s.optionalSize = 96; s.rvaCount = 1; }, false},
    {"103 bytes hold no whole directory", [](PeShape& s) { s.optionalSize = 103; s.rvaCount = 1; }, false},
    {"104 bytes hold one directory", [](PeShape& s) { s.optionalSize = 104; s.rvaCount = 1; }, true},
    {"17 directories in 224 bytes", [](PeShape& s) { s.rvaCount = 17; }, false},
    {"directory count with the top bit set", [](PeShape& s) { s.rvaCount = 0x80000000; }, false},
    {"PE32+ magic", [](PeShape& s) { s.magic = 0x020B; }, false},
    {"ROM magic", [](PeShape& s) { s.magic = 0x0107; }, false},
    {"headers end before the section table",
     [](PeShape& s) { s.headersBeyondTable = -1; s.fileSize = 0x80 + 24 + 224 + 40 + 100; }, false},
    {"headers beyond the table, file long enough", [](PeShape& s) { s.headersBeyondTable = 512; }, true},
    {"file one byte shorter than the headers",
     [](PeShape& s) { s.headersBeyondTable = 512; s.fileSize = 0x80 + 24 + 224 + 40 + 511; }, false},
    {"file ends inside the section table", [](PeShape& s) { s.fileSize = 0x80 + 24 + 224 + 39; }, false},
    {"file ends inside the file header", [](PeShape& s) { s.fileSize = 0x80 + 23; }, false},
    {"file ends inside the DOS header", [](PeShape& s) { s.fileSize = 63; }, false},
    {"empty file", [](PeShape& s) { s.fileSize = 0; }, false},
};

TEST(IsX86Executable, FollowsEveryHeaderRule) {
    for (const PeCase& c : kPeCases) {
        PeShape shape;
        c.mutate(shape);
        ByteBuffer file = BuildPe(shape);
        EXPECT_EQ(IsX86ExecutableImage(file.data(), file.size()), c.x86) << c.name;
    }
}

// ---- Element names --------------------------------------------------------

TEST(ArmElementNameMatches, ContainsEitherNameIgnoringAsciiCase) {
    struct {
        const char16_t *name, *zh, *en;
        bool matches;
    } cases[] = {
        {u"更改仿真设置(&C)", u"更改仿真", u"Change emulation", true},
        {u"CHANGE EMULATION SETTINGS", u"更改仿真", u"Change emulation", true},
        {u"Change", u"更改仿真", u"Change emulation", false},
        {u"确定", u"确定", nullptr, true},
        {u"Anything", u"确定", u"", false},  // an empty name matches nothing
        {u"", u"确定", u"OK", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ArmElementNameMatches(c.name, c.zh, c.en), c.matches) << WideToUtf8(c.name);
    }
}

// ---- The dialog sequence, on a fake dialog and clock ----------------------

constexpr uint64_t kNever = UINT64_MAX;
enum Role { kTab, kEmulate, kBox, kOk, kApply };

struct FakeElement {
    uintptr_t dialog;  // 1 the Properties dialog, 2 the emulation dialog
    int type;
    Role role;
    std::u16string name;
    int state = 0;
    bool stuck = false, enabled = true;
};

struct FakeDialog {
    std::vector<FakeElement> elements;
    uint64_t clock = 0, propertiesShownAt = 0, userClosesAt = kNever;
    bool emulationOpen = false, emulationClosesOnOk = true, propertiesClosesOnOk = true, propertiesClosed = false;
    FakeElement* current = nullptr;
    std::string trace;

    bool ThreadEnded() const { return propertiesClosed || clock >= userClosesAt; }
    bool Exists(uintptr_t d) const {
        if (ThreadEnded()) return false;
        return d == 1 ? clock >= propertiesShownAt : d == 2 && emulationOpen;
    }
    void Note(const char* verb) { trace += (trace.empty() ? "" : ", ") + std::string(verb) + WideToUtf8(current->name); }
};

FakeDialog& F(void* c) { return *static_cast<FakeDialog*>(c); }

const ArmDialogDriver kFakeDriver = {
    nullptr,
    [](void* c) { return F(c).clock; },
    [](void* c, uint32_t ms) { F(c).clock += ms; },
    [](void* c) { return F(c).ThreadEnded(); },
    [](void* c, uint32_t ms) {
        FakeDialog& f = F(c);
        if (!f.ThreadEnded()) f.clock = f.userClosesAt - f.clock <= ms ? f.userClosesAt : f.clock + ms;
        return f.ThreadEnded();
    },
    [](void* c, uintptr_t excluded) -> uintptr_t {
        uintptr_t wanted = excluded == 0 ? 1 : excluded == 1 ? 2 : 0;
        return F(c).Exists(wanted) ? wanted : 0;
    },
    [](void* c, uintptr_t d) { return F(c).Exists(d); },
    [](void* c, uintptr_t d, int type, const char16_t* zh, const char16_t* en) {
        FakeDialog& f = F(c);
        f.current = nullptr;
        for (FakeElement& e : f.elements) {
            if (f.Exists(d) && e.dialog == d && e.type == type && ArmElementNameMatches(e.name, zh, en)) {
                f.current = &e;
                return true;
            }
        }
        return false;
    },
    [](void* c) { F(c).Note("select "); return F(c).current->role == kTab; },
    [](void* c) {
        FakeDialog& f = F(c);
        f.Note("click ");
        Role role = f.current->role;
        if (role == kEmulate) f.emulationOpen = true;
        if (role == kOk && f.current->dialog == 2 && f.emulationClosesOnOk) f.emulationOpen = false;
        if (role == kOk && f.current->dialog == 1 && f.propertiesClosesOnOk) f.propertiesClosed = true;
        return true;
    },
    [](void* c, int& state) { state = F(c).current->state; return true; },
    [](void* c) {
        FakeDialog& f = F(c);
        f.Note("toggle ");
        static const int kNext[3] = {1, 2, 0};  // off, on, indeterminate, off
        if (!f.current->stuck) f.current->state = kNext[f.current->state];
        return true;
    },
    [](void* c, bool& enabled) { enabled = F(c).current->enabled; return true; },
};

FakeDialog ChineseDialog() {
    FakeDialog f;
    f.elements = {
        {1, kUiaTabItem, kTab, u"常规"},
        {1, kUiaTabItem, kTab, u"兼容性"},
        {1, kUiaButton, kEmulate, u"更改仿真设置"},
        {1, kUiaButton, kOk, u"确定"},
        {1, kUiaButton, kApply, u"应用(&A)"},
        {2, kUiaCheckBox, kBox, u"使用高级设置"},
        {2, kUiaCheckBox, kBox, u"禁用混合执行模式"},
        {2, kUiaCheckBox, kBox, u"禁用RWX页面性能优化"},
        {2, kUiaButton, kOk, u"确定"},
    };
    return f;
}

FakeDialog EnglishDialog() {
    FakeDialog f = ChineseDialog();
    const char16_t* names[] = {u"General", u"Compatibility", u"Change emulation settings", u"OK", u"&Apply",
                               u"Use advanced settings", u"Disable hybrid execution mode",
                               u"Disable RWX page performance optimization", u"OK"};
    for (size_t i = 0; i < f.elements.size(); ++i) f.elements[i].name = names[i];
    return f;
}

const char kZhHappy[] =
    "select 兼容性, click 更改仿真设置, toggle 使用高级设置, toggle 禁用混合执行模式, toggle 禁用RWX页面性能优化, "
    "click 确定, click 应用(&A), click 确定";
const char kZhUpToBoxes[] = "select 兼容性, click 更改仿真设置";

struct SequenceCase {
    const char* name;
    FakeDialog (*dialog)();
    bool saved;
    const char* trace;
    // When the sequence gave up or finished, written out: the time limits are fixed values.
    uint64_t clockFrom = 0, clockBelow = kNever;
};

const SequenceCase kSequenceCases[] = {
    {"happy path", ChineseDialog, true, kZhHappy},
    {"English dialog", EnglishDialog, true,
     "select Compatibility, click Change emulation settings, toggle Use advanced settings, toggle Disable hybrid "
     "execution mode, toggle Disable RWX page performance optimization, click OK, click &Apply, click OK"},
    {"button read as 更改模拟",
     [] { FakeDialog f = ChineseDialog(); f.elements[2].name = u"更改模拟设置"; return f; }, true,
     "select 兼容性, click 更改模拟设置, toggle 使用高级设置, toggle 禁用混合执行模式, toggle 禁用RWX页面性能优化, "
     "click 确定, click 应用(&A), click 确定",
     4000},
    {"boxes already on",
     [] { FakeDialog f = ChineseDialog(); for (auto& e : f.elements) e.state = 1; return f; }, true,
     "select 兼容性, click 更改仿真设置, click 确定, click 应用(&A), click 确定"},
    {"indeterminate box takes two toggles",
     [] { FakeDialog f = ChineseDialog(); f.elements[6].state = 2; return f; }, true,
     "select 兼容性, click 更改仿真设置, toggle 使用高级设置, toggle 禁用混合执行模式, toggle 禁用混合执行模式, "
     "toggle 禁用RWX页面性能优化, click 确定, click 应用(&A), click 确定"},
    {"a box that stays off",
     [] { FakeDialog f = ChineseDialog(); f.elements[6].stuck = true; return f; }, false,
     "select 兼容性, click 更改仿真设置, toggle 使用高级设置, toggle 禁用混合执行模式, toggle 禁用混合执行模式"},
    {"apply disabled", [] { FakeDialog f = ChineseDialog(); f.elements[4].enabled = false; return f; }, true,
     "select 兼容性, click 更改仿真设置, toggle 使用高级设置, toggle 禁用混合执行模式, toggle 禁用RWX页面性能优化, "
     "click 确定, click 确定"},
    {"no apply button", [] { FakeDialog f = ChineseDialog(); f.elements.erase(f.elements.begin() + 4); return f; },
     true,
     "select 兼容性, click 更改仿真设置, toggle 使用高级设置, toggle 禁用混合执行模式, toggle 禁用RWX页面性能优化, "
     "click 确定, click 确定"},
    {"emulation dialog never closes", [] { FakeDialog f = ChineseDialog(); f.emulationClosesOnOk = false; return f; },
     false,
     "select 兼容性, click 更改仿真设置, toggle 使用高级设置, toggle 禁用混合执行模式, toggle 禁用RWX页面性能优化, "
     "click 确定",
     3 * 100 + 4000, 3 * 100 + 4000 + 80},
    {"properties dialog never closes",
     [] { FakeDialog f = ChineseDialog(); f.propertiesClosesOnOk = false; return f; }, false, kZhHappy,
     3 * 100 + 200 + 3000, 3 * 100 + 200 + 3000 + 1},
    {"properties dialog never appears", [] { FakeDialog f = ChineseDialog(); f.propertiesShownAt = kNever; return f; },
     false, "", 6000, 6000 + 80},
    {"properties dialog appears late",
     [] { FakeDialog f = ChineseDialog(); f.propertiesShownAt = 6000 - 1; return f; }, true,
     kZhHappy},
    {"no compatibility tab", [] { FakeDialog f = ChineseDialog(); f.elements[1].name = u"安全"; return f; }, false,
     "", 4000, 4000 + 80},
    {"dialog thread ends before any dialog shows",
     [] { FakeDialog f = ChineseDialog(); f.propertiesShownAt = kNever; f.userClosesAt = 0; return f; }, false, "",
     0, 1},
    {"user closes the dialog while the emulation dialog is awaited",
     [] {
         FakeDialog f = ChineseDialog();
         f.elements[2].role = kTab;  // the button opens nothing
         f.userClosesAt = 1000;
         return f;
     },
     false, kZhUpToBoxes, 1000, 1000 + 80},
    {"emulation dialog never appears",
     [] { FakeDialog f = ChineseDialog(); f.elements[2].role = kTab; return f; }, false, kZhUpToBoxes, 5000,
     5000 + 80},
};

TEST(RunArmEmulationSteps, FollowsTheDialogAndItsTimeLimits) {
    for (const SequenceCase& c : kSequenceCases) {
        FakeDialog fake = c.dialog();
        ArmDialogDriver driver = kFakeDriver;
        driver.context = &fake;
        EXPECT_EQ(RunArmEmulationSteps(driver), c.saved) << c.name;
        EXPECT_EQ(fake.trace, c.trace) << c.name;
        EXPECT_GE(fake.clock, c.clockFrom) << c.name;
        EXPECT_LT(fake.clock, c.clockBelow) << c.name;
    }
}

// ---- Outcome ----------------------------------------------------------------

TEST(ConcludeArmEmulationSettings, LogsTheOutcomeAndExplainsAFailure) {
    struct {
        bool saved;
        const char16_t* line;
        const char16_t* error;
    } cases[] = {
        {true, u"[Parcelwright] ARM兼容设置 已保存：C:\\软件\\a.exe", u"before"},
        {false, u"[Parcelwright] ARM兼容设置 未完成：C:\\软件\\a.exe", kArmNotConfirmedText},
    };
    for (const auto& c : cases) {
        CapturedLogLines().clear();
        WideBuffer error = u"before";
        EXPECT_EQ(ConcludeArmEmulationSettings(c.saved, u"C:\\软件\\a.exe", error), c.saved);
        EXPECT_EQ(error, c.error);
        ASSERT_EQ(CapturedLogLines().size(), 1u);
        EXPECT_EQ(CapturedLogLines()[0], c.line);
    }
}

}  // namespace
