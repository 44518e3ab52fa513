#include "engine/arm_settings_win.h"

#include <windows.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shlobj.h>

#include <memory>

#include "base/handles_win.h"
#include "base/wide_win.h"
#include "base/windows_version_win.h"
#include "engine/arm_settings.h"
#include "engine/uia_win.h"

namespace {

bool ReadAt(HANDLE file, uint32_t offset, uint8_t* out, DWORD n, DWORD& got) {
    LARGE_INTEGER position;
    position.QuadPart = offset;
    got = 0;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && ReadFile(file, out, n, &got, nullptr);
}

// ---- The dialog thread ----------------------------------------------------

struct DialogThreadArgs {
    HWND owner;
    WideBuffer path;
};

// Shows the Properties dialog on its Compatibility page; returns when the user
// or the automation closes it.
DWORD WINAPI ShowPropertiesDialog(void* param) {
    ComApartment com(COINIT_APARTMENTTHREADED);
    std::unique_ptr<DialogThreadArgs> args(static_cast<DialogThreadArgs*>(param));
    SHObjectProperties(args->owner, SHOP_FILEPATH, W(args->path), L"Compatibility");
    return 0;
}

UniqueHandle StartDialogThread(HWND owner, const WideBuffer& path) {
    auto* args = new DialogThreadArgs{owner, path};
    UniqueHandle thread(CreateThread(nullptr, 0, ShowPropertiesDialog, args, 0, nullptr));
    if (!thread) delete args;
    return thread;
}

// ---- The UI Automation driver ---------------------------------------------

struct UiaDriver {
    uia::Automation* automation;
    HWND owner;
    HANDLE thread;
    ComPtr<uia::Element> current;
};

UiaDriver& Self(void* context) { return *static_cast<UiaDriver*>(context); }

struct DialogSearch {
    HWND owner, excluded, found;
};

bool HasInOwnerChain(HWND window, HWND wanted) {
    // Bounded: an owner chain is short, and a cycle must not hang the worker.
    for (int depth = 0; window && depth < 64; ++depth) {
        window = GetWindow(window, GW_OWNER);
        if (window == wanted) return true;
    }
    return wanted == nullptr;
}

BOOL CALLBACK CheckDialogCandidate(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<DialogSearch*>(param);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != GetCurrentProcessId() || window == search.owner || window == search.excluded) return TRUE;
    wchar_t className[16];
    if (!IsWindowVisible(window) || !GetClassNameW(window, className, 16) || lstrcmpW(className, L"#32770") != 0) {
        return TRUE;
    }
    if (!HasInOwnerChain(window, search.excluded ? search.excluded : search.owner)) return TRUE;
    search.found = window;
    return FALSE;
}

uint64_t DriverNow(void*) { return GetTickCount64(); }
void DriverSleep(void*, uint32_t ms) { Sleep(ms); }
bool DriverThreadEnded(void* c) { return WaitForSingleObject(Self(c).thread, 0) == WAIT_OBJECT_0; }
bool DriverWaitForThread(void* c, uint32_t ms) { return WaitForSingleObject(Self(c).thread, ms) == WAIT_OBJECT_0; }

uintptr_t DriverFindDialog(void* c, uintptr_t excluded) {
    DialogSearch search = {Self(c).owner, reinterpret_cast<HWND>(excluded), nullptr};
    EnumWindows(CheckDialogCandidate, reinterpret_cast<LPARAM>(&search));
    return reinterpret_cast<uintptr_t>(search.found);
}

bool DriverDialogExists(void*, uintptr_t dialog) { return IsWindow(reinterpret_cast<HWND>(dialog)) != FALSE; }

bool NameMatches(uia::Element* element, const char16_t* zh, const char16_t* en) {
    BSTR name = nullptr;
    if (FAILED(element->get_CurrentName(&name)) || !name) return false;
    bool matches = ArmElementNameMatches(U(name), zh, en);
    SysFreeString(name);
    return matches;
}

bool DriverFindElement(void* c, uintptr_t dialog, int controlType, const char16_t* zh, const char16_t* en) {
    UiaDriver& self = Self(c);
    self.current.reset();
    ComPtr<uia::Element> root;
    ComPtr<uia::Condition> condition;
    ComPtr<uia::ElementArray> found;
    VARIANT type;
    VariantInit(&type);
    type.vt = VT_I4;
    type.lVal = controlType;
    int count = 0;
    if (FAILED(self.automation->ElementFromHandle(reinterpret_cast<void*>(dialog), root.receive())) || !root ||
        FAILED(self.automation->CreatePropertyCondition(uia::kControlTypePropertyId, type, condition.receive())) ||
        FAILED(root->FindAll(uia::kTreeScopeDescendants, condition.get(), found.receive())) || !found ||
        FAILED(found->get_Length(&count))) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        ComPtr<uia::Element> element;
        if (SUCCEEDED(found->GetElement(i, element.receive())) && element && NameMatches(element.get(), zh, en)) {
            self.current = std::move(element);
            return true;
        }
    }
    return false;
}

template <typename Pattern>
ComPtr<Pattern> CurrentPattern(void* c, int patternId, const IID& iid) {
    ComPtr<Pattern> pattern;
    uia::Element* element = Self(c).current.get();
    if (!element || FAILED(element->GetCurrentPatternAs(patternId, iid, pattern.receiveVoid()))) pattern.reset();
    return pattern;
}

bool DriverSelect(void* c) {
    auto pattern = CurrentPattern<uia::SelectionItemPattern>(c, uia::kSelectionItemPatternId,
                                                             uia::kIidSelectionItemPattern);
    return pattern && SUCCEEDED(pattern->Select());
}

// A real button takes a posted click, which never blocks on the dialog's own
// message loop; windowless elements only offer Invoke.
bool DriverClick(void* c) {
    uia::Element* element = Self(c).current.get();
    void* window = nullptr;
    if (!element) return false;
    if (SUCCEEDED(element->get_CurrentNativeWindowHandle(&window)) && window) {
        return PostMessageW(static_cast<HWND>(window), BM_CLICK, 0, 0) != FALSE;
    }
    auto pattern = CurrentPattern<uia::InvokePattern>(c, uia::kInvokePatternId, uia::kIidInvokePattern);
    return pattern && SUCCEEDED(pattern->Invoke());
}

bool DriverReadToggleState(void* c, int& state) {
    auto pattern = CurrentPattern<uia::TogglePattern>(c, uia::kTogglePatternId, uia::kIidTogglePattern);
    return pattern && SUCCEEDED(pattern->get_CurrentToggleState(&state));
}

bool DriverToggle(void* c) {
    auto pattern = CurrentPattern<uia::TogglePattern>(c, uia::kTogglePatternId, uia::kIidTogglePattern);
    return pattern && SUCCEEDED(pattern->Toggle());
}

bool DriverIsEnabled(void* c, bool& enabled) {
    BOOL value = FALSE;
    uia::Element* element = Self(c).current.get();
    if (!element || FAILED(element->get_CurrentIsEnabled(&value))) return false;
    enabled = value != FALSE;
    return true;
}

bool RunWithAutomation(HWND owner, const WideBuffer& path) {
    ComPtr<uia::Automation> automation;
    if (FAILED(CoCreateInstance(uia::kClsidCUIAutomation, nullptr, CLSCTX_INPROC_SERVER, uia::kIidIUIAutomation,
                                automation.receiveVoid()))) {
        return false;
    }
    UniqueHandle thread = StartDialogThread(owner, path);
    if (!thread) return false;
    UiaDriver self = {automation.get(), owner, thread.get(), {}};
    const ArmDialogDriver driver = {&self,          DriverNow,          DriverSleep,         DriverThreadEnded,
                                    DriverWaitForThread, DriverFindDialog, DriverDialogExists, DriverFindElement,
                                    DriverSelect,   DriverClick,        DriverReadToggleState, DriverToggle,
                                    DriverIsEnabled};
    return RunArmEmulationSteps(driver);
}

}  // namespace

bool IsX86Executable(const WideBuffer& path) {
    UniqueHandle file(
        CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.get(), &size)) return false;
    uint8_t dos[kDosHeaderSize], head[kPeHeadSize];
    DWORD got = 0;
    uint32_t offset = 0;
    if (!ReadAt(file.get(), 0, dos, sizeof(dos), got) || !ReadPeHeaderOffset(dos, got, offset)) return false;
    if (!ReadAt(file.get(), offset, head, sizeof(head), got)) return false;
    return IsX86PeHead(head, got, offset, static_cast<uint64_t>(size.QuadPart));
}

bool ApplyArmEmulationSettings(HWND owner, const WideBuffer& path, WideBuffer& error) {
    if (!IsHostArm64() || !IsX86Executable(path)) {
        error = kArmNotApplicableText;
        return false;
    }
    bool saved = false;
    {
        // Released before the log line: the automation object and the thread
        // handle must not outlive this apartment.
        ComApartment com(COINIT_MULTITHREADED);
        saved = RunWithAutomation(owner, path);
    }
    return ConcludeArmEmulationSettings(saved, path, error);
}

bool OpenPropertiesDialog(HWND owner, const WideBuffer& path) {
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_FLAG_NO_UI;
    execute.hwnd = owner;
    execute.lpVerb = L"properties";
    execute.lpFile = W(path);
    execute.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&execute) != FALSE;
}
