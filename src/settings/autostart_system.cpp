#include "settings/autostart_system.h"

#include <windows.h>

#ifdef VOSSEL_FAULT_REFUSE_MACHINE_WRITE
#include <cwchar>
#endif

#include "platform/debug_output.h"
#include "platform/executable.h"
#include "platform/file_security.h"
#include "platform/known_folders.h"
#include "platform/registry.h"
#include "platform/shell_automation.h"
#include "settings/autostart_scope.h"
#include "settings/elevated_autostart.h"

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

constexpr std::wstring_view kApprovalSubkey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";

HKEY RootOf(AutoStartScope scope) {
    return scope == AutoStartScope::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// The record of a 32-bit process's machine-wide entry (under WOW6432Node) is "Run32" in the
// 64-bit view; every other record is "Run" in the process's own view (HKCU's is shared).
struct ApprovalKey {
    std::wstring subkey;
    REGSAM view;
};
ApprovalKey ApprovalKeyOf(AutoStartScope scope) {
    if (scope == AutoStartScope::Machine && platform::RunsUnderWow64()) {
        return {std::wstring(kApprovalSubkey) + L"Run32", KEY_WOW64_64KEY};
    }
    return {std::wstring(kApprovalSubkey) + L"Run", 0};
}

}  // namespace

ShellObjectCreation WshShellObjects::Create() {
    platform::CallStatus status;
    auto object = platform::AutomationObject::Create(progId_.c_str(), status);
    if (!object) return {nullptr, std::move(status)};
    return {std::make_unique<WshShellObject>(std::move(*object)), {}};
}

ShellObjectCreation NoShellObjects::Create() {
    return {nullptr, {platform::kHresultClassNotAvailable, {}}};
}

platform::CallStatus RegistryRunKey::SetValue(std::wstring_view valueName, std::wstring_view data) {
    return platform::SetStringValue(RootOf(scope_), RunSubkey, valueName, data);
}

platform::CallStatus RegistryRunKey::DeleteValue(std::wstring_view valueName) {
    return platform::DeleteValue(RootOf(scope_), RunSubkey, valueName);
}

std::optional<std::wstring> RegistryRunKey::ReadValue(std::wstring_view valueName) {
    return platform::ReadStringValue(RootOf(scope_), RunSubkey, valueName);
}

std::optional<std::vector<std::uint8_t>> RegistryRunKey::ReadApproval(std::wstring_view valueName) {
    const ApprovalKey key = ApprovalKeyOf(scope_);
    return platform::ReadBinaryValue(RootOf(scope_), key.subkey, valueName, key.view);
}

platform::CallStatus RegistryRunKey::DeleteApproval(std::wstring_view valueName) {
    const ApprovalKey key = ApprovalKeyOf(scope_);
    return platform::DeleteValue(RootOf(scope_), key.subkey, valueName, key.view);
}

AutoStartScope ThisExeAutoStartScope(std::wstring_view exePath) {
    ExeLocation exe{std::wstring(exePath), {}};
    exe.finalPath = PathFromFinalPath(platform::FinalPathOf(exe.path));
    // The folders as reached too, so that the real file is judged against the real folder.
    std::vector<std::wstring> folders = platform::ProgramFilesFolders();
    const std::size_t named = folders.size();
    for (std::size_t i = 0; i < named; ++i) {
        std::wstring reached = PathFromFinalPath(platform::FinalPathOf(folders[i]));
        if (!reached.empty()) folders.push_back(std::move(reached));
    }
    return ChooseAutoStartScope(exe, folders, platform::ReadObjectSecurity,
                                platform::ThisProcessUser());
}

namespace {

// The entry may name this copy by another path to the same file: a package manager's "current"
// junction, or a link that a command alias runs.
bool NamesThisCopy(std::wstring_view data, const std::wstring& exePath) {
    if (StartsThisExe(data, exePath)) return true;
    const std::wstring finalExe = platform::FinalPathOf(exePath);
    return !finalExe.empty() &&
           StartsThisExe(platform::FinalPathOf(std::wstring(RegisteredPath(data))), finalExe);
}

int RunElevatedAutoStartOrThrow(std::wstring_view commandLine) {
    const std::optional<bool> on = ParseElevatedAutoStart(CommandLineArguments(commandLine));
    if (!on) return static_cast<int>(ElevatedExit::kUsage);
    // The path is this process's own, never one from the command line: whoever starts this copy
    // can name no other file for every user's log-on.
    const std::wstring exePath = platform::ExecutablePath();
    if (exePath.empty()) return static_cast<int>(ElevatedExit::kNotMachineScope);
    const auto log = [](std::wstring_view line) { platform::Report(line); };
    if (ThisExeAutoStartScope(exePath) != AutoStartScope::Machine) {
        if (*on) return static_cast<int>(ElevatedExit::kNotMachineScope);
        // A portable copy's own entry, removed before its folder is deleted: no elevation.
        RegistryRunKey userRunKey(AutoStartScope::User);
        return static_cast<int>(ElevatedExitFor(RemoveOwnUserEntry(
            ComposeAutoStartEntry(exePath, AutoStartScope::User), userRunKey,
            [&exePath](std::wstring_view data) { return NamesThisCopy(data, exePath); }, log)));
    }
#ifdef VOSSEL_FAULT_REFUSE_MACHINE_WRITE
    // Test-only build: an elevated copy as slow as a user at the UAC prompt, for the end that
    // waits for it.
    if (wchar_t delay[16] = {}; ::GetEnvironmentVariableW(L"VOSSEL_TEST_ELEVATED_DELAY_MS", delay, 16)) {
        ::Sleep(static_cast<DWORD>(std::wcstoul(delay, nullptr, 10)));
    }
#endif
    NoShellObjects noShellObjects;
    RegistryRunKey machineRunKey(AutoStartScope::Machine);
    const AutoStartResult result =
        ApplyAutoStart(*on ? 1 : 0, ComposeAutoStartEntry(exePath, AutoStartScope::Machine),
                       noShellObjects, machineRunKey, log);
    return static_cast<int>(ElevatedExitFor(result));
}

}  // namespace

int RunElevatedAutoStart(std::wstring_view commandLine) noexcept {
    try {
        return RunElevatedAutoStartOrThrow(commandLine);
    } catch (...) {
        // No message: this copy has no window, and the settings window reports the exit code.
        return static_cast<int>(ElevatedExit::kFailed);
    }
}

}  // namespace vossel
