#pragma once

#include <cstdint>
#include <string>

#include "settings/autostart.h"

namespace vossel {

// Makes the shell automation object through COM and calls its methods by name through IDispatch.
// COM must already be initialised on the calling thread.
class AutomationShellObjects final : public ShellObjectFactory {
  public:
    explicit AutomationShellObjects(std::wstring progIdToCreate = L"wscript.shell");
    ShellObjectCreation Create() override;

  private:
    std::wstring progId;
};

// The system's text for an HRESULT (or a Win32 error in HRESULT form), without the line break.
std::wstring SystemErrorText(std::int32_t hresult);

}  // namespace vossel
