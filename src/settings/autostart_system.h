#pragma once
// The auto-start entry's two stores on a real system: the shell automation object and, where it
// is missing, the registry API on the same key and view.
#include <string>

#include "settings/autostart.h"

namespace vossel {

class WshShellObjects final : public ShellObjectFactory {
  public:
    explicit WshShellObjects(std::wstring progId = L"wscript.shell") : progId_(std::move(progId)) {}
    ShellObjectCreation Create() override;

  private:
    std::wstring progId_;
};

class RegistryRunKey final : public RunKeyStore {
  public:
    platform::CallStatus SetValue(std::wstring_view valueName, std::wstring_view data) override;
    platform::CallStatus DeleteValue(std::wstring_view valueName) override;
};

}  // namespace vossel
