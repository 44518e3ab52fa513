#include "security/security_products_win.h"

#include <windows.h>
#include <wbemidl.h>

#include "base/handles_win.h"
#include "base/log.h"
#include "base/wide_win.h"

namespace {

// The walk's requests go to the enumerator with a 500 ms wait each.
struct WmiEnumeration {
    IEnumWbemClassObject* enumerator;
};

WideBuffer DisplayName(IWbemClassObject* object) {
    VARIANT value;
    VariantInit(&value);
    WideBuffer name;
    if (SUCCEEDED(object->Get(L"displayName", 0, &value, nullptr, nullptr)) && value.vt == VT_BSTR && value.bstrVal) {
        name = U(value.bstrVal);
    }
    VariantClear(&value);
    return name;
}

ProductEnumStep NextProduct(void* context) {
    auto* wmi = static_cast<WmiEnumeration*>(context);
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    HRESULT hr = wmi->enumerator->Next(500, 1, object.receive(), &returned);
    if (hr == WBEM_S_FALSE && returned == 0) return {ProductEnumStep::kNoMore, u"", 0};
    if (hr == WBEM_S_TIMEDOUT) return {ProductEnumStep::kTimedOut, u"", kEnumTimedOutStatus};
    if (FAILED(hr) || returned == 0) return {ProductEnumStep::kFailed, u"", static_cast<uint32_t>(FAILED(hr) ? hr : E_FAIL)};
    return {ProductEnumStep::kObject, DisplayName(object.get()), 0};
}

uint32_t Now(void*) { return GetTickCount(); }

// BSTRs freed on every path.
struct Bstr {
    BSTR text;
    explicit Bstr(const wchar_t* value) : text(SysAllocString(value)) {}
    ~Bstr() { SysFreeString(text); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
};

uint32_t Incomplete(HRESULT status) {
    LogLine(u"[Parcelwright] 安全产品检测未完成：0x%08x", static_cast<uint32_t>(status));
    return kSecurityIncomplete;
}

uint32_t QuerySecurityCenter() {
    Bstr space(L"ROOT\\SecurityCenter2"), language(L"WQL"), query(L"SELECT displayName FROM AntiVirusProduct");
    if (!space.text || !language.text || !query.text) return Incomplete(E_OUTOFMEMORY);
    ComPtr<IWbemLocator> locator;
    ComPtr<IWbemServices> services;
    ComPtr<IEnumWbemClassObject> enumerator;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                  locator.receiveVoid());
    if (SUCCEEDED(hr)) {
        hr = locator->ConnectServer(space.text, nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr,
                                    nullptr, services.receive());
    }
    if (SUCCEEDED(hr)) {
        hr = CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                               RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    }
    if (SUCCEEDED(hr)) {
        hr = services->ExecQuery(language.text, query.text, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                 nullptr, enumerator.receive());
    }
    if (FAILED(hr)) return Incomplete(hr);
    WmiEnumeration wmi{enumerator.get()};
    return FoldSecurityProducts({NextProduct, Now, &wmi});
}

}  // namespace

uint32_t DetectSecurityProducts() {
    HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(com)) return kSecurityIncomplete;
    uint32_t mask = QuerySecurityCenter();
    CoUninitialize();
    return mask;
}
