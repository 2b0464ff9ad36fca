#include "settings/autostart_controller.h"

#include <utility>

#include "platform/number_text.h"
#include "settings/elevated_autostart.h"

namespace vossel {

AutoStartController::AutoStartController(std::wstring exePath, AutoStartScope scope,
                                         ShellObjectFactory& shellObjects, RunKeyStore& runKey,
                                         ElevatedCopyLauncher& launcher, AutoStartView& view,
                                         Log log)
    : exePath_(std::move(exePath)),
      entry_(ComposeAutoStartEntry(exePath_, scope)),
      shellObjects_(shellObjects),
      runKey_(runKey),
      launcher_(launcher),
      view_(view),
      log_(std::move(log)) {}

void AutoStartController::Load() {
    pending_ = false;
    ShowTruth();
}

void AutoStartController::ShowTruth() {
    view_.ShowBox(IsAutoStartOn(entry_, exePath_, runKey_) ? 1 : 0);
}

void AutoStartController::Fail(std::int32_t number, std::wstring description) {
    if (description.empty()) description = view_.ErrorText(number);
    log_(L"error " + platform::NumberText(number) + L" " + description);
    view_.ShowError(number, description);
}

void AutoStartController::OnBoxChanged(int value) {
    if (pending_) return;
    const AutoStartResult result = ApplyAutoStart(value, entry_, shellObjects_, runKey_, log_);
    if (!result.succeeded && result.errorNumber == platform::kHresultAccessDenied &&
        entry_.scope == AutoStartScope::Machine) {
        const std::wstring parameters = ElevatedAutoStartParameters(value == 1);
        log_(L"autostart elevate \"" + parameters + L"\"");
        pending_ = true;
        view_.SetBoxEnabled(false);
        launcher_.Start(parameters);
        return;
    }
    if (!result.succeeded) Fail(result.errorNumber, result.description);
    ShowTruth();
}

void AutoStartController::OnElevationStarted(const ElevationStart& start) {
    if (!pending_) return;
    switch (start.outcome) {
        case ElevationStart::Outcome::kStarted:
            return;
        case ElevationStart::Outcome::kDeclined:
            // The user said no at the prompt: that is an answer, not an error.
            log_(L"autostart elevation declined");
            view_.SetBoxEnabled(true);
            break;
        case ElevationStart::Outcome::kFailed:
            view_.SetBoxEnabled(true);
            Fail(start.status.code, start.status.description);
            break;
    }
    ShowTruth();
    pending_ = false;
}

void AutoStartController::OnElevatedExit(std::uint32_t exitCode) {
    if (!pending_) return;
    log_(L"autostart elevated exit " + platform::NumberText(exitCode));
    view_.SetBoxEnabled(true);
    const platform::CallStatus status = ElevatedExitStatus(exitCode);
    if (!status.Succeeded()) Fail(status.code, status.description);
    ShowTruth();
    // Only now: until the box shows the truth, the program's timed end waits.
    pending_ = false;
}

}  // namespace vossel
