#include "settings/settings_window.h"

#include <windows.h>

#include "platform/debug_output.h"
#include "platform/executable.h"
#include "platform/runtime_error.h"
#include "resource_ids.h"
#include "settings/autostart.h"
#include "settings/autostart_system.h"

namespace vossel {
namespace {

// Ids above IDOK and IDCANCEL, so that Enter and Esc, which a dialog-style window turns into
// those two commands, press nothing.
constexpr int kAutostartBoxId = 101;
constexpr int kBackButtonId = 102;

}  // namespace

SettingsWindow::SettingsWindow()
    : autostartBox_(kAutostartBoxId, {240, 240, 1215, 255}, L"开机自启动"),
      backButton_(kBackButtonId, {1920, 240, 735, 300}, L"返回"),
      window_({L"VosselForm2", L"设置", IDI_VOSSEL, COLOR_BTNFACE, 0, {12570, 9345, 3075, 840}}) {
    // Tab order.
    window_.Add(autostartBox_);
    window_.Add(backButton_);
    autostartBox_.Click = [this] { OnAutostartBoxClick(); };
    backButton_.Click = [this] { OnBackClick(); };
    window_.Unloaded = [] { platform::Report(L"settings unloaded"); };
}

void SettingsWindow::Show() {
    window_.Show();
    platform::Report(L"settings shown");
}

void SettingsWindow::OnBackClick() { window_.UnloadWindow(); }

void SettingsWindow::OnAutostartBoxClick() {
    const int value = autostartBox_.Value();
    const AutoStartEntry entry = ComposeAutoStartEntry(platform::ExecutablePath());
    WshShellObjects shellObjects;
    RegistryRunKey runKey;
    const AutoStartResult result = ApplyAutoStart(
        value, entry, shellObjects, runKey, [](std::wstring_view line) { platform::Report(line); });
    if (result.succeeded) return;
    // A refused registry call costs nothing but the message: the program goes on, and the box
    // goes back to what it was, since the change did not happen.
    platform::ShowErrorMessage(window_.Handle(), result.errorNumber, result.description);
    if (window_.IsLoaded()) autostartBox_.SetValue(value == 1 ? 0 : 1);
}

}  // namespace vossel
