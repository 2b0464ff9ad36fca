#include "settings/autostart_system.h"

#include <windows.h>

#include "platform/registry.h"
#include "platform/shell_automation.h"

namespace vossel {
namespace {

class WshShellObject final : public ShellObject {
  public:
    explicit WshShellObject(platform::AutomationObject object) : object_(std::move(object)) {}

    platform::CallStatus RegWrite(std::wstring_view valuePath, std::wstring_view data) override {
        return object_.Call(L"regwrite", {valuePath, data});
    }
    platform::CallStatus RegDelete(std::wstring_view valuePath) override {
        return object_.Call(L"regdelete", {valuePath});
    }

  private:
    platform::AutomationObject object_;
};

}  // namespace

ShellObjectCreation WshShellObjects::Create() {
    platform::CallStatus status;
    auto object = platform::AutomationObject::Create(progId_.c_str(), status);
    if (!object) return {nullptr, std::move(status)};
    return {std::make_unique<WshShellObject>(std::move(*object)), {}};
}

platform::CallStatus RegistryRunKey::SetValue(std::wstring_view valueName, std::wstring_view data) {
    return platform::SetStringValue(HKEY_LOCAL_MACHINE, RunSubkey, valueName, data);
}

platform::CallStatus RegistryRunKey::DeleteValue(std::wstring_view valueName) {
    return platform::DeleteValue(HKEY_LOCAL_MACHINE, RunSubkey, valueName);
}

}  // namespace vossel
