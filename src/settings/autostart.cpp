#include "settings/autostart.h"

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

AutoStartEntry ComposeAutoStartEntry(std::wstring_view exePath) {
    const std::size_t nameStart = exePath.find_last_of(L"\\/");
    std::wstring_view name =
        nameStart == std::wstring_view::npos ? exePath : exePath.substr(nameStart + 1);
    if (const std::size_t dot = name.rfind(L'.'); dot != std::wstring_view::npos) {
        name = name.substr(0, dot);
    }

    AutoStartEntry entry;
    entry.valueName = name;
    entry.valuePath = std::wstring(RunKeyPrefix) + entry.valueName;
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
    if (!write && IsAbsentValue(status.code)) {
        return {};
    }
    if (status.Succeeded()) {
        return {};
    }

    log(L"error " + std::to_wstring(status.code) + L" " + status.description);
    return {false, status.code, std::move(status.description)};
}

}  // namespace vossel
