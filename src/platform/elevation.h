#pragma once
// Running this exe again, elevated, and learning when it ended.
#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "platform/unique_handle.h"

namespace vossel::platform {

using UniqueProcess = UniqueAny<HANDLE, CloseKernelHandle>;

struct ElevatedStart {
    UniqueProcess process;  // set when it started
    DWORD error = ERROR_SUCCESS;  // otherwise why not; ERROR_CANCELLED when the user declined
};

// ShellExecuteExW with the verb "runas", owner as the prompt's owner, and no window of its own.
// Returns at once after the prompt; the process runs on.
ElevatedStart StartElevated(HWND owner, const std::wstring& exe, const std::wstring& parameters);

// StartElevated on a short-lived worker thread: on Windows it returns only once the UAC prompt is
// answered, and the windows must go on painting and fading meanwhile. The caller looks at Done()
// from its own thread (a timer) and then takes the outcome; a process that nobody takes is closed
// when the last owner lets go.
class BackgroundElevation {
  public:
    bool Done() const { return done_.load(std::memory_order_acquire); }
    // After Done(), once.
    ElevatedStart Take() { return std::move(outcome_); }
    // The worker's last word.
    void Finish(ElevatedStart outcome) {
        outcome_ = std::move(outcome);
        done_.store(true, std::memory_order_release);
    }

  private:
    ElevatedStart outcome_;
    std::atomic<bool> done_{false};
};

std::shared_ptr<BackgroundElevation> StartElevatedInBackground(HWND owner, std::wstring exe,
                                                               std::wstring parameters);

// The exit code once the process has ended; nothing while it runs.
std::optional<DWORD> ExitCodeIfEnded(HANDLE process);

}  // namespace vossel::platform
