#include "settings/form2.h"

#include <windows.h>

#include "platform/debug_output.h"
#include "platform/executable.h"
#include "platform/run_key.h"
#include "platform/runtime_error.h"
#include "platform/shell_automation.h"
#include "resource_ids.h"
#include "settings/autostart.h"

namespace vossel {
namespace {

// Ids above IDOK and IDCANCEL, so that Enter and Esc, which a dialog-style window turns into
// those two commands, press nothing.
constexpr int kCheck1Id = 101;
constexpr int kCommand1Id = 102;

}  // namespace

Form2::Form2()
    : window_({L"VosselForm2", L"设置", IDI_VOSSEL, COLOR_BTNFACE, 0, {12570, 9345, 3075, 840}}),
      Check1(kCheck1Id, {240, 240, 1215, 255}, L"开机自启动"),
      Command1(kCommand1Id, {1920, 240, 735, 300}, L"返回") {
    // Tab order.
    window_.Add(Check1);
    window_.Add(Command1);
    Check1.Click = [this] { Check1_Click(); };
    Command1.Click = [this] { Command1_Click(); };
    window_.Unloaded = [] { platform::Report(L"settings unloaded"); };
}

void Form2::Show() {
    window_.Show();
    platform::Report(L"settings shown");
}

void Form2::Command1_Click() { window_.UnloadWindow(); }

void Form2::Check1_Click() {
    const int value = Check1.Value();
    const AutoStartEntry entry = ComposeAutoStartEntry(platform::ExecutablePath());
    AutomationShellObjects shellObjects;
    RegistryRunKey runKey;
    const AutoStartResult result = ApplyAutoStart(
        value, entry, shellObjects, runKey, [](std::wstring_view line) { platform::Report(line); });
    if (result.succeeded) return;
    // A refused registry call costs nothing but the message: the program goes on, and the box
    // goes back to what it was, since the change did not happen.
    platform::ShowErrorMessage(window_.Handle(), result.errorNumber, result.description);
    if (window_.IsLoaded()) Check1.SetValue(value == 1 ? 0 : 1);
}

}  // namespace vossel
