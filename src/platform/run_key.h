#pragma once

#include <string_view>

#include "settings/autostart.h"

namespace vossel {

// The key under HKEY_LOCAL_MACHINE that RunKeyPrefix names.
inline constexpr std::wstring_view RunKeySubkey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The Run key through the registry API, in this process's own view: a 32-bit process lands in
// WOW6432Node, as the in-process shell object does.
class RegistryRunKey final : public RunKeyStore {
  public:
    CallStatus SetValue(std::wstring_view valueName, std::wstring_view data) override;
    CallStatus DeleteValue(std::wstring_view valueName) override;
};

}  // namespace vossel
