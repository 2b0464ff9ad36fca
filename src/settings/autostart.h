#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/call_status.h"

namespace vossel {

// Machine: HKEY_LOCAL_MACHINE, in the exe's own registry view, for everyone who logs on. User:
// HKEY_CURRENT_USER, for this user only.
enum class AutoStartScope { Machine, User };

// The Run key under either root; RunKeyPrefix is the machine-wide key in the shell object's
// notation, ending in the backslash that separates the value's name.
inline constexpr std::wstring_view RunSubkey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline const std::wstring RunKeyPrefix = L"HKLM\\" + std::wstring(RunSubkey) + L"\\";
inline const std::wstring UserRunKeyPrefix = L"HKCU\\" + std::wstring(RunSubkey) + L"\\";

struct AutoStartEntry {
    AutoStartScope scope = AutoStartScope::Machine;
    std::wstring valueName;  // the executable's base name
    std::wstring valuePath;  // the scope's Run key prefix + valueName, as the shell object takes it
    std::wstring data;       // the full path in double quotation marks
};

// From the full path of the running executable. The data is always quoted: an unquoted path with
// spaces in a Run entry lets Windows start C:\Program.exe first.
AutoStartEntry ComposeAutoStartEntry(std::wstring_view exePath,
                                     AutoStartScope scope = AutoStartScope::Machine);

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

// The Run key of one scope through the registry API, in the same view as the shell object, and
// Windows' StartupApproved record of that key (the Startup apps switch).
class RunKeyStore {
  public:
    virtual ~RunKeyStore() = default;
    virtual platform::CallStatus SetValue(std::wstring_view valueName, std::wstring_view data) = 0;
    virtual platform::CallStatus DeleteValue(std::wstring_view valueName) = 0;
    // A string value's data; nothing when it is absent or no string.
    virtual std::optional<std::wstring> ReadValue(std::wstring_view valueName) = 0;
    // The record's bytes; nothing when there is none.
    virtual std::optional<std::vector<std::uint8_t>> ReadApproval(std::wstring_view valueName) = 0;
    // An absent record answers kHresultFileNotFound.
    virtual platform::CallStatus DeleteApproval(std::wstring_view valueName) = 0;
};

// The record's format is undocumented; what is known: an odd first byte means that the user
// disabled the entry, an even one or no record means enabled. An empty record says nothing and is
// never taken for disabled.
bool IsApprovalDisabled(const std::optional<std::vector<std::uint8_t>>& record);

// A registered command's path: without the blanks and quotation marks around it.
std::wstring_view RegisteredPath(std::wstring_view registeredData);

// Whether a registered command starts this exe: the same path, ignoring case and the quotation
// marks around it.
bool StartsThisExe(std::wstring_view registeredData, std::wstring_view exePath);

// What the box shows: ticked when the entry for this exe exists in its scope and Windows has not
// disabled it.
bool IsAutoStartOn(const AutoStartEntry& entry, std::wstring_view exePath, RunKeyStore& runKey);

struct AutoStartResult {
    bool succeeded = true;
    std::int32_t errorNumber = 0;  // the HRESULT, shown as a signed decimal
    std::wstring description;
};

// The check box's work after it changed: value 1 writes the entry, every other value deletes
// it. One shell object per call, released before returning on every path. A write also removes a
// StartupApproved record that disables the entry: ticking the box asks for it explicitly. log
// receives `autostart write "<path>" = <data>` or `autostart delete "<path>"`,
// and `autostart enable "<path>"` when it removes the record. Failures are returned, not logged.
AutoStartResult ApplyAutoStart(int boxValue, const AutoStartEntry& entry,
                               ShellObjectFactory& shellObjects, RunKeyStore& runKey,
                               const std::function<void(std::wstring_view)>& log);

// What `/autostart off` does for a copy whose entry is this user's own, before its folder is
// deleted: removes the entry and Windows' record of it when namesThisCopy says that the entry
// starts this copy. An entry of the same name for another copy stays, and so does its record.
// log receives `autostart delete "<path>"` when there is something to remove.
AutoStartResult RemoveOwnUserEntry(const AutoStartEntry& entry, RunKeyStore& runKey,
                                   const std::function<bool(std::wstring_view)>& namesThisCopy,
                                   const std::function<void(std::wstring_view)>& log);

}  // namespace vossel
