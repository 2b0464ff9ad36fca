#pragma once
// An automation object made from its ProgID through COM, its methods called by name through
// IDispatch with string arguments. COM must already be initialised on the calling thread.
#include <wrl/client.h>
#include <oaidl.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "platform/call_status.h"

namespace vossel::platform {

class AutomationObject {
  public:
    // A new object on every call; nothing when it cannot be made, with the reason in status.
    static std::optional<AutomationObject> Create(const wchar_t* progId, CallStatus& status);

    AutomationObject(AutomationObject&&) noexcept;
    AutomationObject(const AutomationObject&) = delete;
    AutomationObject& operator=(const AutomationObject&) = delete;
    ~AutomationObject();

    // The method is looked up by name at each call; an exception that the object raises comes
    // back with its own description.
    CallStatus Call(const wchar_t* method, std::initializer_list<std::wstring_view> args);

  private:
    explicit AutomationObject(Microsoft::WRL::ComPtr<IDispatch> dispatch);
    Microsoft::WRL::ComPtr<IDispatch> dispatch_;
};

// The system's text for an HRESULT (or a Win32 error in HRESULT form), without the line break.
std::wstring SystemErrorText(std::int32_t hresult);

}  // namespace vossel::platform
