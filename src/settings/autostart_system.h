#pragma once
// The auto-start entry's stores on a real system: the shell automation object and, where it is
// missing, the registry API on the same key and view; and the elevated copy's whole run.
#include <string>
#include <string_view>

#include "settings/autostart.h"

namespace vossel {

class WshShellObjects final : public ShellObjectFactory {
  public:
    explicit WshShellObjects(std::wstring progId = L"wscript.shell") : progId_(std::move(progId)) {}
    ShellObjectCreation Create() override;

  private:
    std::wstring progId_;
};

// No shell object at all: every operation goes through the registry API.
class NoShellObjects final : public ShellObjectFactory {
  public:
    ShellObjectCreation Create() override;
};

class RegistryRunKey final : public RunKeyStore {
  public:
    explicit RegistryRunKey(AutoStartScope scope = AutoStartScope::Machine) : scope_(scope) {}
    platform::CallStatus SetValue(std::wstring_view valueName, std::wstring_view data) override;
    platform::CallStatus DeleteValue(std::wstring_view valueName) override;
    std::optional<std::wstring> ReadValue(std::wstring_view valueName) override;
    std::optional<std::vector<std::uint8_t>> ReadApproval(std::wstring_view valueName) override;
    platform::CallStatus DeleteApproval(std::wstring_view valueName) override;

  private:
    AutoStartScope scope_;
};

// Where this exe's entry belongs, from where the exe lives.
AutoStartScope ThisExeAutoStartScope(std::wstring_view exePath);

// The elevated copy: "/autostart on" or "/autostart off" and nothing else, the machine-wide entry
// of this exe only, no window, no COM. Returns the exit code. HKEY_CURRENT_USER, which may be
// another account's when elevated, is touched only by "/autostart off" for a copy outside the
// administrators' folders, whose entry is this user's own: it needs no elevation.
int RunElevatedAutoStart(std::wstring_view commandLine) noexcept;

}  // namespace vossel
