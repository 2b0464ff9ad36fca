#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vossel {

inline constexpr std::wstring_view RunKeyPrefix =
    L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\";

struct AutoStartEntry {
    std::wstring valueName;  // the executable's base name
    std::wstring valuePath;  // RunKeyPrefix + valueName, as the shell object takes it
    std::wstring data;       // the full path in double quotation marks
};

// From the full path of the running executable. The data is always quoted: an unquoted path with
// spaces in a Run entry lets Windows start C:\Program.exe first.
AutoStartEntry ComposeAutoStartEntry(std::wstring_view exePath);

// HRESULTs that the auto-start decisions tell apart (the values of the Windows headers).
inline constexpr std::int32_t kHresultOk = 0;
inline constexpr std::int32_t kHresultNotImplemented = static_cast<std::int32_t>(0x80004001);
inline constexpr std::int32_t kHresultNoInterface = static_cast<std::int32_t>(0x80004002);
inline constexpr std::int32_t kHresultClassNotAvailable = static_cast<std::int32_t>(0x80040111);
inline constexpr std::int32_t kHresultClassNotRegistered = static_cast<std::int32_t>(0x80040154);
inline constexpr std::int32_t kHresultInvalidClassString = static_cast<std::int32_t>(0x800401F3);
inline constexpr std::int32_t kHresultApplicationNotFound = static_cast<std::int32_t>(0x800401F5);
inline constexpr std::int32_t kHresultMemberNotFound = static_cast<std::int32_t>(0x80020003);
inline constexpr std::int32_t kHresultUnknownName = static_cast<std::int32_t>(0x80020006);
inline constexpr std::int32_t kHresultFileNotFound = static_cast<std::int32_t>(0x80070002);
inline constexpr std::int32_t kHresultPathNotFound = static_cast<std::int32_t>(0x80070003);
inline constexpr std::int32_t kHresultAccessDenied = static_cast<std::int32_t>(0x80070005);
inline constexpr std::int32_t kHresultModuleNotFound = static_cast<std::int32_t>(0x8007007E);

// HRESULT_FROM_WIN32, for the registry API's status codes.
constexpr std::int32_t HresultFromWin32(std::uint32_t error) {
    return static_cast<std::int32_t>(error) <= 0
               ? static_cast<std::int32_t>(error)
               : static_cast<std::int32_t>((error & 0x0000FFFFu) | 0x80070000u);
}

// The outcome of one platform call: an HRESULT (a Win32 status already turned into one) and the
// text that the object or the system gives for it.
struct CallStatus {
    std::int32_t code = kHresultOk;
    std::wstring description;

    bool Succeeded() const { return code >= 0; }
};

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
    virtual CallStatus RegWrite(std::wstring_view valuePath, std::wstring_view data) = 0;
    virtual CallStatus RegDelete(std::wstring_view valuePath) = 0;
};

struct ShellObjectCreation {
    std::unique_ptr<ShellObject> object;  // null when the creation failed
    CallStatus status;
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
    virtual CallStatus SetValue(std::wstring_view valueName, std::wstring_view data) = 0;
    virtual CallStatus DeleteValue(std::wstring_view valueName) = 0;
};

struct AutoStartResult {
    bool succeeded = true;
    std::int32_t errorNumber = 0;  // the HRESULT, shown as a signed decimal
    std::wstring description;
};

// Check1_Click's work after the box changed: value 1 writes the entry, every other value deletes
// it. One shell object per call, released before returning on every path. log receives
// `autostart write "<path>" = <data>` or `autostart delete "<path>"`, and
// `error <number> <description>` on failure.
AutoStartResult ApplyAutoStart(int check1Value, const AutoStartEntry& entry,
                               ShellObjectFactory& shellObjects, RunKeyStore& runKey,
                               const std::function<void(std::wstring_view)>& log);

}  // namespace vossel
