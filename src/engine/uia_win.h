// The few UI Automation client interfaces the emulation settings use, which
// the mingw-w64 headers do not declare. Each interface lists its methods in the
// platform's vtable order up to the last one called; methods never called keep
// their slot with an untyped signature.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace uia {

constexpr CLSID kClsidCUIAutomation = {0xff48dba4, 0x60ef, 0x4201, {0xaa, 0x87, 0x54, 0x10, 0x3e, 0xef, 0x59, 0x4e}};
constexpr IID kIidIUIAutomation = {0x30cbe57d, 0xd9d0, 0x452a, {0xab, 0x13, 0x7a, 0xc5, 0xac, 0x48, 0x25, 0xee}};
constexpr IID kIidInvokePattern = {0xfb377fbe, 0x8ea6, 0x46d5, {0x9c, 0x73, 0x64, 0x99, 0x64, 0x2d, 0x30, 0x59}};
constexpr IID kIidSelectionItemPattern = {0xa8efa66a, 0x0fda, 0x421a, {0x91, 0x94, 0x38, 0x02, 0x1f, 0x35, 0x78, 0xea}};
constexpr IID kIidTogglePattern = {0x94cf8058, 0x9b8d, 0x4ab9, {0x8b, 0xfd, 0x4c, 0xd0, 0xa3, 0x3c, 0x8c, 0x70}};

constexpr int kControlTypePropertyId = 30003;
constexpr int kInvokePatternId = 10000;
constexpr int kSelectionItemPatternId = 10010;
constexpr int kTogglePatternId = 10015;
constexpr int kTreeScopeDescendants = 4;

using Unused = void*;

struct Condition : IUnknown {};

struct Element;

struct ElementArray : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_Length(int* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetElement(int index, Element** element) = 0;
};

struct Element : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFocus() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRuntimeId(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindFirst(int, Unused, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindAll(int scope, Condition* condition, ElementArray** found) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindFirstBuildCache(int, Unused, Unused, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindAllBuildCache(int, Unused, Unused, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE BuildUpdatedCache(Unused, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPropertyValue(int, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPropertyValueEx(int, BOOL, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCachedPropertyValue(int, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCachedPropertyValueEx(int, BOOL, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPatternAs(int patternId, REFIID riid, void** pattern) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCachedPatternAs(int, REFIID, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPattern(int, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCachedPattern(int, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCachedParent(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCachedChildren(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentProcessId(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentControlType(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentLocalizedControlType(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentAcceleratorKey(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentAccessKey(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentHasKeyboardFocus(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentIsKeyboardFocusable(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentIsEnabled(BOOL* enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentAutomationId(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentClassName(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentHelpText(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentCulture(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentIsControlElement(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentIsContentElement(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentIsPassword(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentNativeWindowHandle(void** window) = 0;
};

struct Automation : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CompareElements(Unused, Unused, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareRuntimeIds(Unused, Unused, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRootElement(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE ElementFromHandle(void* window, Element** element) = 0;
    virtual HRESULT STDMETHODCALLTYPE ElementFromPoint(POINT, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFocusedElement(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRootElementBuildCache(Unused, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE ElementFromHandleBuildCache(Unused, Unused, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE ElementFromPointBuildCache(POINT, Unused, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFocusedElementBuildCache(Unused, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateTreeWalker(Unused, Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ControlViewWalker(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ContentViewWalker(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RawViewWalker(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RawViewCondition(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ControlViewCondition(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ContentViewCondition(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateCacheRequest(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateTrueCondition(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateFalseCondition(Unused) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreatePropertyCondition(int propertyId, VARIANT value, Condition** condition) = 0;
};

struct InvokePattern : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke() = 0;
};

struct SelectionItemPattern : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Select() = 0;
};

struct TogglePattern : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Toggle() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentToggleState(int* state) = 0;
};

}  // namespace uia
