#include "platform/shell_automation.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cwctype>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com_apartment.h"
#include "platform/number_text.h"
#include "platform/system_api.h"

namespace vossel::platform {
namespace {

using Microsoft::WRL::ComPtr;

class Bstr {
  public:
    explicit Bstr(std::wstring_view text)
        : value(api::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    Bstr(Bstr&& other) noexcept : value(std::exchange(other.value, nullptr)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr& operator=(Bstr&&) = delete;
    ~Bstr() { api::SysFreeString(value); }

    BSTR Get() const { return value; }

  private:
    BSTR value;
};

class ExceptionInfo {
  public:
    ExceptionInfo() = default;
    ExceptionInfo(const ExceptionInfo&) = delete;
    ExceptionInfo& operator=(const ExceptionInfo&) = delete;
    ~ExceptionInfo() {
        api::SysFreeString(info.bstrSource);
        api::SysFreeString(info.bstrDescription);
        api::SysFreeString(info.bstrHelpFile);
    }

    EXCEPINFO info{};
};

class Variant {
  public:
    Variant() { api::VariantInit(&value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { api::VariantClear(&value); }

    VARIANT value;
};

struct LocalFreeDeleter {
    void operator()(wchar_t* buffer) const { LocalFree(buffer); }
};

CallStatus Failure(HRESULT hr) { return {static_cast<std::int32_t>(hr), SystemErrorText(hr)}; }

}  // namespace

AutomationObject::AutomationObject(ComPtr<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {}
AutomationObject::AutomationObject(AutomationObject&&) noexcept = default;
AutomationObject::~AutomationObject() = default;

std::optional<AutomationObject> AutomationObject::Create(const wchar_t* progId,
                                                         CallStatus& status) {
    EnterComApartment();
    CLSID classId{};
    HRESULT hr = api::CLSIDFromProgID(progId, &classId);
    if (SUCCEEDED(hr)) {
        ComPtr<IDispatch> dispatch;
        hr = api::CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_PPV_ARGS(&dispatch));
        if (SUCCEEDED(hr)) {
            status = {};
            return AutomationObject(std::move(dispatch));
        }
    }
    status = Failure(hr);
    return std::nullopt;
}

CallStatus AutomationObject::Call(const wchar_t* method,
                                  std::initializer_list<std::wstring_view> args) {
    LPOLESTR name = const_cast<LPOLESTR>(method);
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = dispatch_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return Failure(hr);
    }

    std::vector<Bstr> strings;
    strings.reserve(args.size());
    for (std::wstring_view arg : args) {
        strings.emplace_back(arg);
        if (strings.back().Get() == nullptr) {
            return Failure(E_OUTOFMEMORY);
        }
    }
    // IDispatch takes the arguments last first. The BSTRs stay owned by strings.
    std::vector<VARIANT> variants(strings.size());
    for (std::size_t i = 0; i < strings.size(); ++i) {
        VARIANT& variant = variants[strings.size() - 1 - i];
        api::VariantInit(&variant);
        variant.vt = VT_BSTR;
        variant.bstrVal = strings[i].Get();
    }
    DISPPARAMS params{variants.data(), nullptr, static_cast<UINT>(variants.size()), 0};

    Variant result;
    ExceptionInfo exception;
    UINT argumentError = 0;
    hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                           &result.value, &exception.info, &argumentError);
    if (hr == DISP_E_EXCEPTION) {
        EXCEPINFO& info = exception.info;
        if (info.pfnDeferredFillIn != nullptr) {
            info.pfnDeferredFillIn(&info);
        }
        // A bare wCode carries no HRESULT of its own; the exception itself is the number.
        const HRESULT code = FAILED(info.scode) ? info.scode : DISP_E_EXCEPTION;
        if (info.bstrDescription != nullptr && info.bstrDescription[0] != L'\0') {
            return {static_cast<std::int32_t>(code),
                    std::wstring(info.bstrDescription, api::SysStringLen(info.bstrDescription))};
        }
        return Failure(code);
    }
    if (FAILED(hr)) {
        return Failure(hr);
    }
    return {};
}

std::wstring SystemErrorText(std::int32_t hresult) {
    // The message table holds Win32 errors under their plain numbers.
    const DWORD messageId = HRESULT_FACILITY(hresult) == FACILITY_WIN32
                                ? static_cast<DWORD>(HRESULT_CODE(hresult))
                                : static_cast<DWORD>(hresult);
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, messageId, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    const std::unique_ptr<wchar_t, LocalFreeDeleter> owner(buffer);

    std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
    while (!text.empty() && std::iswspace(text.back())) {
        text.pop_back();
    }
    if (text.empty()) {
        text = L"Unknown error " + HexCode(static_cast<std::uint32_t>(hresult));
    }
    return text;
}

}  // namespace vossel::platform
