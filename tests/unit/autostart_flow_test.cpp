#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "settings/autostart.h"
#include "settings/autostart_controller.h"
#include "settings/autostart_scope.h"
#include "settings/elevated_autostart.h"

namespace vossel {
namespace {

using platform::CallStatus;
using Bytes = std::vector<std::uint8_t>;

const std::vector<std::wstring> kAdminFolders = {L"C:\\Program Files", L"C:\\Program Files (x86)"};

// Every file and folder as an installer leaves it: administrators may change it, users may run it.
AutoStartScope ScopeOf(std::wstring path, const std::vector<std::wstring>& folders) {
    const auto installed = [](const std::wstring&) -> std::optional<platform::ObjectSecurity> {
        return platform::ObjectSecurity{L"S-1-5-32-544", true, {{true, L"S-1-5-32-545", 0x1200a9}}};
    };
    return ChooseAutoStartScope({path, path}, folders, installed, {});
}

TEST(ChooseAutoStartScope, MachineWideOnlyInsideAnAdministratorsFolder) {
    struct Case {
        const wchar_t* exePath;
        AutoStartScope scope;
    };
    const Case cases[] = {
        {L"C:\\Program Files\\Vossel\\Vossel.exe", AutoStartScope::Machine},
        {L"c:\\PROGRAM FILES (X86)\\Vossel\\Vossel.exe", AutoStartScope::Machine},
        {L"C:\\Windows\\Vossel.exe", AutoStartScope::User},  // Tasks, Tracing: anyone may write
        {L"C:\\Program Files/Vossel/Vossel.exe", AutoStartScope::Machine},
        {L"C:\\Users\\Ann\\Downloads\\Vossel.exe", AutoStartScope::User},
        {L"C:\\Users\\Ann\\Desktop\\Program Files\\Vossel.exe", AutoStartScope::User},
        {L"C:\\Program Files Evil\\Vossel.exe", AutoStartScope::User},
        {L"C:\\Program FilesVossel.exe", AutoStartScope::User},
        {L"C:\\Program Files\\..\\Users\\Ann\\Vossel.exe", AutoStartScope::User},
        {L"C:\\Program Files\\Vossel\\..\\..\\Temp\\Vossel.exe", AutoStartScope::User},
        {L"E:\\Program Files\\Vossel\\Vossel.exe", AutoStartScope::User},  // a USB stick
        {L"\\\\server\\share\\Program Files\\Vossel.exe", AutoStartScope::User},
        {L"C:\\Program Files", AutoStartScope::User},
        {L"C:\\Program Files\\", AutoStartScope::User},
        {L"", AutoStartScope::User},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScopeOf(c.exePath, kAdminFolders), c.scope) << c.exePath;
    }
    // A folder named with a trailing backslash, as some systems report the root of a drive.
    EXPECT_EQ(ScopeOf(L"D:\\Apps\\Vossel.exe", {L"D:\\Apps\\"}), AutoStartScope::Machine);
    // No folder could be named: nothing is machine-wide.
    EXPECT_EQ(ScopeOf(L"C:\\Program Files\\Vossel\\Vossel.exe", {}), AutoStartScope::User);
}

// ---- the state read back ----

// The registry of one scope, in memory: values, StartupApproved records, and answers to force.
class MemoryRunKey final : public RunKeyStore {
  public:
    std::map<std::wstring, std::wstring> values;
    std::map<std::wstring, Bytes> approvals;
    std::optional<CallStatus> refuseWith;  // every change answers this
    std::vector<std::wstring> changes;

    CallStatus SetValue(std::wstring_view name, std::wstring_view data) override {
        changes.push_back(L"set " + std::wstring(name));
        if (refuseWith) return *refuseWith;
        values[std::wstring(name)] = data;
        return {};
    }
    CallStatus DeleteValue(std::wstring_view name) override {
        changes.push_back(L"delete " + std::wstring(name));
        if (refuseWith) return *refuseWith;
        return values.erase(std::wstring(name)) ? CallStatus{}
                                                : CallStatus{platform::kHresultFileNotFound, {}};
    }
    std::optional<std::wstring> ReadValue(std::wstring_view name) override {
        const auto found = values.find(std::wstring(name));
        if (found == values.end()) return std::nullopt;
        return found->second;
    }
    std::optional<Bytes> ReadApproval(std::wstring_view name) override {
        const auto found = approvals.find(std::wstring(name));
        if (found == approvals.end()) return std::nullopt;
        return found->second;
    }
    CallStatus DeleteApproval(std::wstring_view name) override {
        changes.push_back(L"delete approval " + std::wstring(name));
        if (refuseWith) return *refuseWith;
        return approvals.erase(std::wstring(name))
                   ? CallStatus{}
                   : CallStatus{platform::kHresultFileNotFound, {}};
    }
};

// No shell object: every change goes through the store above.
class NoShell final : public ShellObjectFactory {
  public:
    ShellObjectCreation Create() override {
        return {nullptr, {platform::kHresultClassNotRegistered, L"Class not registered"}};
    }
};

const std::wstring kExe = L"C:\\Program Files\\Vossel\\Vossel.exe";
const Bytes kEnabled = {0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kDisabled = {0x03, 0, 0, 0, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x01};

TEST(IsAutoStartOn, TicksOnlyForThisExesEntryThatWindowsHasNotDisabled) {
    struct Case {
        const char* name;
        std::optional<std::wstring> data;
        std::optional<Bytes> approval;
        bool on;
    };
    const Case cases[] = {
        {"quoted, as written", L"\"C:\\Program Files\\Vossel\\Vossel.exe\"", std::nullopt, true},
        {"unquoted, as earlier versions wrote", L"C:\\Program Files\\Vossel\\Vossel.exe",
         std::nullopt, true},
        {"other case", L"\"c:\\program files\\VOSSEL\\vossel.EXE\"", std::nullopt, true},
        {"enabled record", L"\"" + kExe + L"\"", kEnabled, true},
        {"record 06", L"\"" + kExe + L"\"", Bytes{0x06, 0, 0, 0}, true},
        {"empty record says nothing", L"\"" + kExe + L"\"", Bytes{}, true},
        {"disabled record", L"\"" + kExe + L"\"", kDisabled, false},
        {"disabled record 07", L"\"" + kExe + L"\"", Bytes{0x07}, false},
        {"no entry", std::nullopt, std::nullopt, false},
        {"no entry, enabled record", std::nullopt, kEnabled, false},
        {"another exe under the same name", L"\"D:\\Old\\Vossel.exe\"", std::nullopt, false},
        {"this path with arguments", L"\"" + kExe + L"\" /minimized", std::nullopt, false},
        {"a longer path sharing the start", L"\"" + kExe + L".bak\"", std::nullopt, false},
        {"empty data", L"", std::nullopt, false},
        {"quotes only", L"\"\"", std::nullopt, false},
    };
    const AutoStartEntry entry = ComposeAutoStartEntry(kExe);
    for (const Case& c : cases) {
        MemoryRunKey runKey;
        if (c.data) runKey.values[L"Vossel"] = *c.data;
        if (c.approval) runKey.approvals[L"Vossel"] = *c.approval;
        EXPECT_EQ(IsAutoStartOn(entry, kExe, runKey), c.on) << c.name;
    }
}

TEST(ApplyAutoStart, TickingRemovesARecordThatDisablesTheEntryClearingRemovesAnyRecord) {
    struct Case {
        const char* name;
        int box;
        std::optional<Bytes> approval;
        std::vector<std::wstring> changes;
        bool recordLeft;
    };
    const Case cases[] = {
        {"tick, disabled", 1, kDisabled, {L"set Vossel", L"delete approval Vossel"}, false},
        {"tick, enabled", 1, kEnabled, {L"set Vossel"}, true},
        {"tick, no record", 1, std::nullopt, {L"set Vossel"}, false},
        // Nothing of the program stays in the registry once it is off.
        {"clear, disabled", 0, kDisabled, {L"delete Vossel", L"delete approval Vossel"}, false},
        {"clear, enabled", 0, kEnabled, {L"delete Vossel", L"delete approval Vossel"}, false},
    };
    const AutoStartEntry entry = ComposeAutoStartEntry(kExe);
    for (const Case& c : cases) {
        MemoryRunKey runKey;
        runKey.values[L"Vossel"] = L"\"" + kExe + L"\"";
        if (c.approval) runKey.approvals[L"Vossel"] = *c.approval;
        NoShell noShell;
        std::vector<std::wstring> log;
        const AutoStartResult result = ApplyAutoStart(
            c.box, entry, noShell, runKey, [&](std::wstring_view line) { log.emplace_back(line); });
        EXPECT_TRUE(result.succeeded) << c.name;
        EXPECT_EQ(runKey.changes, c.changes) << c.name;
        EXPECT_EQ(runKey.approvals.count(L"Vossel") == 1, c.recordLeft) << c.name;
        EXPECT_EQ(IsAutoStartOn(entry, kExe, runKey), c.box == 1) << c.name;
    }
}

// ---- the elevated copy's arguments and exit codes ----

TEST(ElevatedAutoStart, AcceptsExactlyTheTwoForms) {
    struct Case {
        const wchar_t* commandLine;
        std::optional<bool> on;
    };
    const Case cases[] = {
        {L"\"C:\\Program Files\\Vossel\\Vossel.exe\" /autostart on", true},
        {L"\"C:\\Program Files\\Vossel\\Vossel.exe\" /autostart off", false},
        {L"Vossel.exe   /autostart\ton  ", true},
        {L"\"C:\\Program Files\\Vossel\\Vossel.exe\"", std::nullopt},
        {L"Vossel.exe /autostart", std::nullopt},
        {L"Vossel.exe /autostart ON", std::nullopt},
        {L"Vossel.exe /AUTOSTART on", std::nullopt},
        {L"Vossel.exe -autostart on", std::nullopt},
        {L"Vossel.exe /autostart on x", std::nullopt},
        {L"Vossel.exe /autostart on;x", std::nullopt},
        {L"Vossel.exe /autostart \"on\"", std::nullopt},
        {L"Vossel.exe \"/autostart on\"", std::nullopt},
        {L"Vossel.exe /autostart C:\\Users\\Ann\\evil.exe", std::nullopt},
        {L"Vossel.exe C:\\Users\\Ann\\evil.exe /autostart on", std::nullopt},
        {L"\"C:\\a b\\Vossel.exe /autostart on", std::nullopt},  // unclosed quote: all program
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseElevatedAutoStart(CommandLineArguments(c.commandLine)), c.on)
            << testing::PrintToString(std::string(c.commandLine, c.commandLine + wcslen(c.commandLine)));
    }
    EXPECT_TRUE(CommandLineArguments(L"\"C:\\a b\\Vossel.exe\"").empty());
    EXPECT_TRUE(CommandLineArguments(L"Vossel.exe  ").empty());
    EXPECT_EQ(CommandLineArguments(L"\"C:\\a b\\Vossel.exe\"x y").size(), 1u);
    for (bool on : {true, false}) {
        EXPECT_EQ(ParseElevatedAutoStart(
                      CommandLineArguments(L"Vossel.exe " + ElevatedAutoStartParameters(on))),
                  on);
    }
}

TEST(ElevatedAutoStart, ExitCodesMapBothWays) {
    const AutoStartResult done{};
    const AutoStartResult denied{false, platform::kHresultAccessDenied, L"Access is denied."};
    const AutoStartResult other{false, static_cast<std::int32_t>(0x8007000E), L"Out of memory"};
    EXPECT_EQ(ElevatedExitFor(done), ElevatedExit::kDone);
    EXPECT_EQ(ElevatedExitFor(denied), ElevatedExit::kRefused);
    EXPECT_EQ(ElevatedExitFor(other), ElevatedExit::kFailed);

    struct Case {
        std::uint32_t exitCode;
        std::int32_t hresult;
    };
    const Case cases[] = {
        {0, platform::kHresultOk},
        {1, platform::HresultFromWin32(87)},
        {2, platform::kHresultAccessDenied},
        {3, platform::kHresultAccessDenied},
        {4, static_cast<std::int32_t>(0x80004005)},
        {7, static_cast<std::int32_t>(0x80004005)},
        {0xC0000005u, static_cast<std::int32_t>(0xC0000005u)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ElevatedExitStatus(c.exitCode).code, c.hresult) << c.exitCode;
    }
}

// ---- the settings window's flow ----

class FakeWindow final : public AutoStartView, public ElevatedCopyLauncher {
  public:
    std::vector<std::wstring> events;
    std::wstring parameters;

    void ShowBox(int value) override { events.push_back(L"box " + std::to_wstring(value)); }
    void SetBoxEnabled(bool enabled) override {
        events.push_back(enabled ? L"enable" : L"disable");
    }
    void ShowError(std::int32_t number, const std::wstring& description) override {
        events.push_back(L"error " + std::to_wstring(number) + L" " + description);
    }
    std::wstring ErrorText(std::int32_t number) override {
        return L"text of " + std::to_wstring(number);
    }
    void Start(const std::wstring& params) override {
        events.push_back(L"elevate " + params);
        parameters = params;
    }
};

const CallStatus kDenied{platform::kHresultAccessDenied, L"Access is denied."};
const std::wstring kDeniedNumber = std::to_wstring(platform::kHresultAccessDenied);

struct Flow {
    explicit Flow(AutoStartScope scope = AutoStartScope::Machine)
        : controller(kExe, scope, noShell, runKey, window, window,
                     [this](std::wstring_view line) { log.emplace_back(line); }) {}
    MemoryRunKey runKey;
    NoShell noShell;
    FakeWindow window;
    std::vector<std::wstring> log;
    AutoStartController controller;
};

TEST(AutoStartController, LoadShowsWhatIsRegistered) {
    Flow flow;
    flow.controller.Load();
    flow.runKey.values[L"Vossel"] = L"\"" + kExe + L"\"";
    flow.controller.Load();
    flow.runKey.approvals[L"Vossel"] = kDisabled;
    flow.controller.Load();
    EXPECT_EQ(flow.window.events, (std::vector<std::wstring>{L"box 0", L"box 1", L"box 0"}));
}

TEST(AutoStartController, RefusedMachineWideChangeGoesToTheElevatedCopyAndIsReadBack) {
    Flow flow;
    flow.runKey.refuseWith = kDenied;
    flow.controller.Load();
    flow.controller.OnBoxChanged(1);
    EXPECT_EQ(flow.window.parameters, L"/autostart on");
    EXPECT_TRUE(flow.controller.Pending());
    flow.controller.OnElevationStarted({ElevationStart::Outcome::kStarted, {}});
    EXPECT_TRUE(flow.controller.Pending());
    // Clicks while it runs change nothing.
    flow.controller.OnBoxChanged(0);
    EXPECT_EQ(flow.runKey.changes, std::vector<std::wstring>{L"set Vossel"});

    // What the elevated copy did.
    flow.runKey.values[L"Vossel"] = L"\"" + kExe + L"\"";
    flow.controller.OnElevatedExit(static_cast<std::uint32_t>(ElevatedExit::kDone));
    EXPECT_FALSE(flow.controller.Pending());
    EXPECT_EQ(flow.window.events, (std::vector<std::wstring>{L"box 0", L"disable",
                                                            L"elevate /autostart on", L"enable",
                                                            L"box 1"}));
    EXPECT_EQ(flow.log, (std::vector<std::wstring>{
                            L"autostart write \"" + RunKeyPrefix + L"Vossel\" = \"" + kExe + L"\"",
                            L"autostart elevate \"/autostart on\"", L"autostart elevated exit 0"}));
}

TEST(AutoStartController, OutcomesOfTheElevation) {
    struct Case {
        const char* name;
        int box;
        ElevationStart start;
        std::optional<std::uint32_t> exitCode;  // when it started
        bool registeredAfter;
        std::vector<std::wstring> events;
    };
    const std::wstring failedStart = L"error " + std::to_wstring(platform::HresultFromWin32(2)) +
                                     L" The system cannot find the file specified.";
    const std::vector<Case> cases = {
        {"declined: no message, the box shows the truth", 1,
         {ElevationStart::Outcome::kDeclined, {}}, std::nullopt, false,
         {L"disable", L"elevate /autostart on", L"enable", L"box 0"}},
        {"declined while clearing: still registered", 0,
         {ElevationStart::Outcome::kDeclined, {}}, std::nullopt, true,
         {L"disable", L"elevate /autostart off", L"enable", L"box 1"}},
        {"could not start", 1,
         {ElevationStart::Outcome::kFailed,
          {platform::HresultFromWin32(2), L"The system cannot find the file specified."}},
         std::nullopt, false, {L"disable", L"elevate /autostart on", L"enable", failedStart, L"box 0"}},
        {"the copy was refused too", 1, {ElevationStart::Outcome::kStarted, {}}, 3u, false,
         {L"disable", L"elevate /autostart on", L"enable",
          L"error " + kDeniedNumber + L" text of " + kDeniedNumber, L"box 0"}},
        {"the copy crashed", 0, {ElevationStart::Outcome::kStarted, {}}, 0xC0000005u, true,
         {L"disable", L"elevate /autostart off", L"enable",
          L"error -1073741819 text of -1073741819", L"box 1"}},
        {"the copy cleared it", 0, {ElevationStart::Outcome::kStarted, {}}, 0u, false,
         {L"disable", L"elevate /autostart off", L"enable", L"box 0"}},
    };
    for (const Case& c : cases) {
        Flow flow;
        if (c.box == 0) flow.runKey.values[L"Vossel"] = L"\"" + kExe + L"\"";
        flow.runKey.refuseWith = kDenied;
        flow.controller.OnBoxChanged(c.box);
        // Pending from the click until the prompt is answered and, if it ran, the copy ended.
        EXPECT_TRUE(flow.controller.Pending()) << c.name;
        flow.controller.OnElevationStarted(c.start);
        if (c.exitCode) {
            EXPECT_TRUE(flow.controller.Pending()) << c.name;
            if (*c.exitCode == 0) flow.runKey.values.clear();
            flow.controller.OnElevatedExit(*c.exitCode);
        }
        EXPECT_FALSE(flow.controller.Pending()) << c.name;
        EXPECT_EQ(flow.runKey.values.count(L"Vossel") == 1, c.registeredAfter) << c.name;
        EXPECT_EQ(flow.window.events, c.events) << c.name;
    }
}

TEST(AutoStartController, OtherFailuresAndTheUserScopeNeverElevate) {
    struct Case {
        const char* name;
        AutoStartScope scope;
        CallStatus refusal;
    };
    const CallStatus quota{platform::HresultFromWin32(1450), L"Insufficient quota."};
    const Case cases[] = {
        {"user scope, access denied", AutoStartScope::User, kDenied},
        {"machine scope, another failure", AutoStartScope::Machine, quota},
    };
    for (const Case& c : cases) {
        Flow flow(c.scope);
        flow.runKey.refuseWith = c.refusal;
        flow.controller.OnBoxChanged(1);
        EXPECT_EQ(flow.window.events,
                  (std::vector<std::wstring>{L"error " + std::to_wstring(c.refusal.code) + L" " +
                                                 c.refusal.description,
                                             L"box 0"}))
            << c.name;
        EXPECT_FALSE(flow.controller.Pending()) << c.name;
    }
}

TEST(AutoStartController, AnUnloadWhileTheCopyRunsLeavesNothingPending) {
    Flow flow;
    flow.runKey.refuseWith = kDenied;
    flow.controller.OnBoxChanged(1);
    ASSERT_TRUE(flow.controller.Pending());
    flow.controller.Load();  // the next window
    EXPECT_FALSE(flow.controller.Pending());
    flow.window.events.clear();
    flow.controller.OnElevatedExit(0);  // a late report of the old copy changes nothing
    EXPECT_TRUE(flow.window.events.empty());
}

}  // namespace
}  // namespace vossel
