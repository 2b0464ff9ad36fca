#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/call_status.h"

namespace vossel {

// The machine-wide Run key, under HKEY_LOCAL_MACHINE; RunKeyPrefix is the same key in the shell
// object's notation, ending in the backslash that separates the value's name.
inline constexpr std::wstring_view RunSubkey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline const std::wstring RunKeyPrefix = L"HKLM\\" + std::wstring(RunSubkey) + L"\\";

struct AutoStartEntry {
    std::wstring valueName;  // the executable's base name
    std::wstring valuePath;  // RunKeyPrefix + valueName, as the shell object takes it
    std::wstring data;       // the full path in double quotation marks
};

// From the full path of the running executable. The data is always quoted: an unquoted path with
// spaces in a Run entry lets Windows start C:\Program.exe first.
AutoStartEntry ComposeAutoStartEntry(std::wstring_view exePath);

// The failure classes, by HRESULT:
// - unavailable: the shell object cannot be made (class not registered or not available, invalid
//   class string / ProgID, application or server DLL not found, no IDispatch) or it does not carry
//   the method (E_NOTIMPL, DISP_E_UNKNOWNNAME, DISP_E_MEMBERNOTFOUND). The same operation then goes
//   through the registry API.
// - absent value: file or path not found, from the shell object's RegDelete or from the registry
//   API. Clearing the box wants the value gone, and it is, so this is success.
// - everything else, access denied above all, is a failure that is reported and never retried
//   another way: the registry API would be refused just the same.
bool IsShellObjectUnavailable(std::int32_t code);
bool IsAbsentValue(std::int32_t code);

// WScript.Shell's two registry methods, called by name.
class ShellObject {
  public:
    virtual ~ShellObject() = default;
    virtual platform::CallStatus RegWrite(std::wstring_view valuePath, std::wstring_view data) = 0;
    virtual platform::CallStatus RegDelete(std::wstring_view valuePath) = 0;
};

struct ShellObjectCreation {
    std::unique_ptr<ShellObject> object;  // null when the creation failed
    platform::CallStatus status;
};

class ShellObjectFactory {
  public:
    virtual ~ShellObjectFactory() = default;
    // A new object for "wscript.shell" on every call.
    virtual ShellObjectCreation Create() = 0;
};

// The machine-wide Run key through the registry API, in the same view as the shell object.
class RunKeyStore {
  public:
    virtual ~RunKeyStore() = default;
    virtual platform::CallStatus SetValue(std::wstring_view valueName, std::wstring_view data) = 0;
    virtual platform::CallStatus DeleteValue(std::wstring_view valueName) = 0;
};

struct AutoStartResult {
    bool succeeded = true;
    std::int32_t errorNumber = 0;  // the HRESULT, shown as a signed decimal
    std::wstring description;
};

// The check box's work after it changed: value 1 writes the entry, every other value deletes
// it. One shell object per call, released before returning on every path. log receives
// `autostart write "<path>" = <data>` or `autostart delete "<path>"`, and
// `error <number> <description>` on failure.
AutoStartResult ApplyAutoStart(int boxValue, const AutoStartEntry& entry,
                               ShellObjectFactory& shellObjects, RunKeyStore& runKey,
                               const std::function<void(std::wstring_view)>& log);

}  // namespace vossel
