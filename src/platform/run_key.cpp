#include "platform/run_key.h"

#include <windows.h>

#include <string>

#include "platform/shell_automation.h"

namespace vossel {

namespace {

CallStatus StatusOf(LSTATUS status) {
    if (status == ERROR_SUCCESS) {
        return {};
    }
    const std::int32_t hresult = HresultFromWin32(static_cast<std::uint32_t>(status));
    return {hresult, SystemErrorText(hresult)};
}

}  // namespace

CallStatus RegistryRunKey::SetValue(std::wstring_view valueName, std::wstring_view data) {
    const std::wstring subkey(RunKeySubkey);
    const std::wstring name(valueName);
    const std::wstring text(data);
    // REG_SZ counts its terminating NUL.
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return StatusOf(RegSetKeyValueW(HKEY_LOCAL_MACHINE, subkey.c_str(), name.c_str(), REG_SZ,
                                    text.c_str(), bytes));
}

CallStatus RegistryRunKey::DeleteValue(std::wstring_view valueName) {
    const std::wstring subkey(RunKeySubkey);
    const std::wstring name(valueName);
    return StatusOf(RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, subkey.c_str(), name.c_str()));
}

}  // namespace vossel
