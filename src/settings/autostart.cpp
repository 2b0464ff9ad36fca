#include "settings/autostart.h"

#include <algorithm>
#include <cwctype>
#include <string>

namespace vossel {

namespace {

platform::CallStatus CallShellObject(bool write, const AutoStartEntry& entry,
                                     ShellObjectFactory& shellObjects) {
    // The object lives only inside this call, so it is released before any fallback and on
    // every way out.
    ShellObjectCreation creation = shellObjects.Create();
    if (!creation.object) {
        return creation.status.Succeeded() ? platform::CallStatus{platform::kHresultNoInterface, {}}
                                           : std::move(creation.status);
    }
    return write ? creation.object->RegWrite(entry.valuePath, entry.data)
                 : creation.object->RegDelete(entry.valuePath);
}

}  // namespace

AutoStartEntry ComposeAutoStartEntry(std::wstring_view exePath, AutoStartScope scope) {
    const std::size_t nameStart = exePath.find_last_of(L"\\/");
    std::wstring_view name =
        nameStart == std::wstring_view::npos ? exePath : exePath.substr(nameStart + 1);
    if (const std::size_t dot = name.rfind(L'.'); dot != std::wstring_view::npos) {
        name = name.substr(0, dot);
    }

    AutoStartEntry entry;
    entry.scope = scope;
    entry.valueName = name;
    entry.valuePath =
        (scope == AutoStartScope::Machine ? RunKeyPrefix : UserRunKeyPrefix) + entry.valueName;
    entry.data = L"\"" + std::wstring(exePath) + L"\"";
    return entry;
}

bool IsShellObjectUnavailable(std::int32_t code) {
    switch (code) {
        case platform::kHresultClassNotRegistered:
        case platform::kHresultClassNotAvailable:
        case platform::kHresultInvalidClassString:
        case platform::kHresultApplicationNotFound:
        case platform::kHresultModuleNotFound:
        case platform::kHresultNoInterface:
        case platform::kHresultNotImplemented:
        case platform::kHresultUnknownName:
        case platform::kHresultMemberNotFound:
            return true;
        default:
            return false;
    }
}

bool IsAbsentValue(std::int32_t code) {
    return code == platform::kHresultFileNotFound || code == platform::kHresultPathNotFound;
}

bool IsApprovalDisabled(const std::optional<std::vector<std::uint8_t>>& record) {
    return record && !record->empty() && ((*record)[0] & 1) != 0;
}

namespace {

// Windows keeps an entry's StartupApproved record after the entry is gone; it goes with the
// entry, so that nothing of the program stays behind. A value already gone counts as removed.
platform::CallStatus RemoveApprovalAfter(platform::CallStatus status, const AutoStartEntry& entry,
                                         RunKeyStore& runKey) {
    const auto done = [&status] { return status.Succeeded() || IsAbsentValue(status.code); };
    if (done()) status = runKey.DeleteApproval(entry.valueName);
    return done() ? platform::CallStatus{} : status;
}

}  // namespace

std::wstring_view RegisteredPath(std::wstring_view text) {
    while (!text.empty() && (text.front() == L' ' || text.front() == L'"')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'"')) text.remove_suffix(1);
    return text;
}

bool StartsThisExe(std::wstring_view registeredData, std::wstring_view exePath) {
    const std::wstring_view a = RegisteredPath(registeredData);
    const std::wstring_view b = RegisteredPath(exePath);
    return !a.empty() && a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return std::towupper(x) == std::towupper(y); });
}

bool IsAutoStartOn(const AutoStartEntry& entry, std::wstring_view exePath, RunKeyStore& runKey) {
    const std::optional<std::wstring> data = runKey.ReadValue(entry.valueName);
    return data && StartsThisExe(*data, exePath) &&
           !IsApprovalDisabled(runKey.ReadApproval(entry.valueName));
}

AutoStartResult ApplyAutoStart(int boxValue, const AutoStartEntry& entry,
                               ShellObjectFactory& shellObjects, RunKeyStore& runKey,
                               const std::function<void(std::wstring_view)>& log) {
    const bool write = boxValue == 1;
    log(write ? L"autostart write \"" + entry.valuePath + L"\" = " + entry.data
              : L"autostart delete \"" + entry.valuePath + L"\"");

    platform::CallStatus status = CallShellObject(write, entry, shellObjects);
    if (IsShellObjectUnavailable(status.code)) {
        status = write ? runKey.SetValue(entry.valueName, entry.data)
                       : runKey.DeleteValue(entry.valueName);
    }
    if (!write) status = RemoveApprovalAfter(std::move(status), entry, runKey);
    if (write && status.Succeeded() && IsApprovalDisabled(runKey.ReadApproval(entry.valueName))) {
        log(L"autostart enable \"" + entry.valuePath + L"\"");
        status = runKey.DeleteApproval(entry.valueName);
        if (IsAbsentValue(status.code)) return {};
    }
    if (status.Succeeded()) {
        return {};
    }

    return {false, status.code, std::move(status.description)};
}

AutoStartResult RemoveOwnUserEntry(const AutoStartEntry& entry, RunKeyStore& runKey,
                                   const std::function<bool(std::wstring_view)>& namesThisCopy,
                                   const std::function<void(std::wstring_view)>& log) {
    const std::optional<std::wstring> data = runKey.ReadValue(entry.valueName);
    if (!data || !namesThisCopy(*data)) return {};
    log(L"autostart delete \"" + entry.valuePath + L"\"");
    platform::CallStatus status =
        RemoveApprovalAfter(runKey.DeleteValue(entry.valueName), entry, runKey);
    if (status.Succeeded()) return {};
    return {false, status.code, std::move(status.description)};
}

}  // namespace vossel
