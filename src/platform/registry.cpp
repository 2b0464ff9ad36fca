#include "platform/registry.h"

#include <string>

#include "platform/shell_automation.h"

namespace vossel::platform {
namespace {

CallStatus StatusOf(LSTATUS status) {
    if (status == ERROR_SUCCESS) return {};
    const std::int32_t hresult = HresultFromWin32(static_cast<std::uint32_t>(status));
    return {hresult, SystemErrorText(hresult)};
}

}  // namespace

CallStatus SetStringValue(HKEY root, std::wstring_view subkey, std::wstring_view name,
                          std::wstring_view data) {
    const std::wstring key(subkey);
    const std::wstring value(name);
    const std::wstring text(data);
    // REG_SZ counts its terminating NUL.
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return StatusOf(
        ::RegSetKeyValueW(root, key.c_str(), value.c_str(), REG_SZ, text.c_str(), bytes));
}

CallStatus DeleteValue(HKEY root, std::wstring_view subkey, std::wstring_view name) {
    const std::wstring key(subkey);
    const std::wstring value(name);
    return StatusOf(::RegDeleteKeyValueW(root, key.c_str(), value.c_str()));
}

}  // namespace vossel::platform
