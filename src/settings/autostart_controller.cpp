#include "settings/autostart_controller.h"

#include <utility>

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
    log_(L"error " + std::to_wstring(number) + L" " + description);
    view_.ShowError(number, description);
}

void AutoStartController::OnBoxChanged(int value) {
    if (pending_) return;
    const AutoStartResult result = ApplyAutoStart(value, entry_, shellObjects_, runKey_, log_);
    if (!result.succeeded && result.errorNumber == platform::kHresultAccessDenied &&
        entry_.scope == AutoStartScope::Machine) {
        const std::wstring parameters = ElevatedAutoStartParameters(value == 1);
        log_(L"autostart elevate \"" + parameters + L"\"");
        const ElevationStart start = launcher_.Start(parameters);
        switch (start.outcome) {
            case ElevationStart::Outcome::kStarted:
                pending_ = true;
                view_.SetBoxEnabled(false);
                return;
            case ElevationStart::Outcome::kDeclined:
                // The user said no at the prompt: that is an answer, not an error.
                log_(L"autostart elevation declined");
                break;
            case ElevationStart::Outcome::kFailed:
                Fail(start.status.code, start.status.description);
                break;
        }
    } else if (!result.succeeded) {
        Fail(result.errorNumber, result.description);
    }
    ShowTruth();
}

void AutoStartController::OnElevatedExit(std::uint32_t exitCode) {
    if (!pending_) return;
    pending_ = false;
    log_(L"autostart elevated exit " + std::to_wstring(exitCode));
    view_.SetBoxEnabled(true);
    const platform::CallStatus status = ElevatedExitStatus(exitCode);
    if (!status.Succeeded()) Fail(status.code, status.description);
    ShowTruth();
}

}  // namespace vossel
