#include "settings/settings_window.h"

#include <windows.h>

#include "platform/debug_output.h"
#include "platform/executable.h"
#include "platform/runtime_error.h"
#include "platform/shell_automation.h"
#include "platform/texts.h"
#include "resource_ids.h"
#include "settings/autostart_system.h"

namespace vossel {
namespace {

// Ids above IDOK and IDCANCEL, so that Enter and Esc, which a dialog-style window turns into
// those two commands, press nothing.
constexpr int kAutostartBoxId = 101;
constexpr int kBackButtonId = 102;

constexpr UINT_PTR kElevationPollTimerId = 1;
// How often the window looks whether the prompt was answered and the elevated copy has ended; the
// copy takes well under a second.
constexpr int kElevationPollMs = 100;

#ifdef VOSSEL_FAULT_REFUSE_MACHINE_WRITE
// Test-only build: this window's own machine-wide writes and deletes are refused, as on Windows
// for an unelevated user, so that the elevated copy has to do them. Wine grants them all.
const platform::CallStatus kRefused{platform::kHresultAccessDenied, L"Access is denied."};

class RefusingShellObjects final : public ShellObjectFactory {
  public:
    ShellObjectCreation Create() override { return {nullptr, kRefused}; }
};

class RefusingRunKey final : public RunKeyStore {
  public:
    platform::CallStatus SetValue(std::wstring_view, std::wstring_view) override {
        return kRefused;
    }
    platform::CallStatus DeleteValue(std::wstring_view) override { return kRefused; }
    std::optional<std::wstring> ReadValue(std::wstring_view name) override {
        return store_.ReadValue(name);
    }
    std::optional<std::vector<std::uint8_t>> ReadApproval(std::wstring_view name) override {
        return store_.ReadApproval(name);
    }
    platform::CallStatus DeleteApproval(std::wstring_view) override { return kRefused; }

  private:
    RegistryRunKey store_{AutoStartScope::Machine};
};
#endif

std::unique_ptr<ShellObjectFactory> ShellObjectsFor([[maybe_unused]] AutoStartScope scope) {
#ifdef VOSSEL_FAULT_REFUSE_MACHINE_WRITE
    if (scope == AutoStartScope::Machine) return std::make_unique<RefusingShellObjects>();
#endif
    return std::make_unique<WshShellObjects>();
}

std::unique_ptr<RunKeyStore> RunKeyFor(AutoStartScope scope) {
#ifdef VOSSEL_FAULT_REFUSE_MACHINE_WRITE
    if (scope == AutoStartScope::Machine) return std::make_unique<RefusingRunKey>();
#endif
    return std::make_unique<RegistryRunKey>(scope);
}

// The design's box holds the five characters of the Chinese caption; an English one takes the
// room up to the button.
platform::TwipRect AutostartBoxPlace() {
    if (platform::DisplayLanguage() == platform::UiLanguage::English) return {240, 240, 1650, 255};
    return {240, 240, 1215, 255};
}

}  // namespace

SettingsWindow::SettingsWindow()
    : exePath_(platform::ExecutablePath()),
      scope_(ThisExeAutoStartScope(exePath_)),
      shellObjects_(ShellObjectsFor(scope_)),
      runKey_(RunKeyFor(scope_)),
      autostart_(exePath_, scope_, *shellObjects_, *runKey_, *this, *this,
                 [](std::wstring_view line) { platform::Report(line); }),
      autostartBox_(kAutostartBoxId, AutostartBoxPlace(), platform::Text(IDS_SETTINGS_AUTOSTART)),
      backButton_(kBackButtonId, {1920, 240, 735, 300}, platform::Text(IDS_SETTINGS_BACK)),
      elevationPoll_(kElevationPollTimerId, kElevationPollMs, false),
      window_({L"VosselForm2",
               platform::Text(IDS_SETTINGS_TITLE),
               IDI_VOSSEL,
               COLOR_BTNFACE,
               0,
               {12570, 9345, 3075, 840}}) {
    // Tab order.
    window_.Add(autostartBox_);
    window_.Add(backButton_);
    window_.Add(elevationPoll_);
    autostartBox_.Click = [this] { OnAutostartBoxClick(); };
    backButton_.Click = [this] { OnBackClick(); };
    elevationPoll_.Tick = [this] { OnElevationPoll(); };
    window_.Load = [this] { autostart_.Load(); };
    window_.Unloaded = [this] { OnUnloaded(); };
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::Show() {
    window_.Show();
    platform::Report(L"settings shown");
}

void SettingsWindow::OnBackClick() { window_.UnloadWindow(); }

void SettingsWindow::OnAutostartBoxClick() { autostart_.OnBoxChanged(autostartBox_.Value()); }

void SettingsWindow::OnUnloaded() {
    // The elevated copy runs on by itself; the next load reads what it left.
    elevationPoll_.SetEnabled(false);
    elevation_.reset();
    elevatedCopy_.Reset();
    platform::Report(L"settings unloaded");
}

void SettingsWindow::OnElevationPoll() {
    if (elevation_) {
        if (!elevation_->Done()) return;
        platform::ElevatedStart start = elevation_->Take();
        elevation_.reset();
        if (start.process) {
            elevatedCopy_ = std::move(start.process);
            autostart_.OnElevationStarted({ElevationStart::Outcome::kStarted, {}});
            return;
        }
        elevationPoll_.SetEnabled(false);
        if (start.error == ERROR_CANCELLED) {
            autostart_.OnElevationStarted({ElevationStart::Outcome::kDeclined, {}});
        } else {
            const std::int32_t number = platform::HresultFromWin32(start.error);
            autostart_.OnElevationStarted(
                {ElevationStart::Outcome::kFailed, {number, platform::SystemErrorText(number)}});
        }
        return;
    }
    if (!elevatedCopy_) {
        elevationPoll_.SetEnabled(false);
        return;
    }
    const std::optional<DWORD> exitCode = platform::ExitCodeIfEnded(elevatedCopy_.Get());
    if (!exitCode) return;
    elevationPoll_.SetEnabled(false);
    elevatedCopy_.Reset();
    autostart_.OnElevatedExit(*exitCode);
}

void SettingsWindow::ShowBox(int value) {
    if (window_.IsLoaded()) autostartBox_.SetValue(value);
}

void SettingsWindow::SetBoxEnabled(bool enabled) {
    if (autostartBox_.Handle()) ::EnableWindow(autostartBox_.Handle(), enabled ? TRUE : FALSE);
}

void SettingsWindow::ShowError(std::int32_t number, const std::wstring& description) {
    // A refused change costs nothing but the message: the program goes on.
    platform::ShowErrorMessage(window_.Handle(), number, description);
}

std::wstring SettingsWindow::ErrorText(std::int32_t number) {
    return platform::SystemErrorText(number);
}

void SettingsWindow::Start(const std::wstring& parameters) {
    elevation_ = platform::StartElevatedInBackground(window_.Handle(), exePath_, parameters);
    elevationPoll_.SetEnabled(true);
}

}  // namespace vossel
