#pragma once
// The settings window's check box and the entry behind it: the box shows what is registered, a
// change is carried out in the entry's scope, and a machine-wide change that is refused goes to an
// elevated copy of the exe, which the window waits for without blocking.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "settings/autostart.h"

namespace vossel {

class AutoStartView {
  public:
    virtual ~AutoStartView() = default;
    // Sets the box without raising its click.
    virtual void ShowBox(int value) = 0;
    virtual void SetBoxEnabled(bool enabled) = 0;
    // The standard run-time error message; the program goes on.
    virtual void ShowError(std::int32_t number, const std::wstring& description) = 0;
    // The system's text for an HRESULT.
    virtual std::wstring ErrorText(std::int32_t number) = 0;
};

struct ElevationStart {
    enum class Outcome { kStarted, kDeclined, kFailed };
    Outcome outcome = Outcome::kStarted;
    platform::CallStatus status;  // why, for kFailed
};

class ElevatedCopyLauncher {
  public:
    virtual ~ElevatedCopyLauncher() = default;
    // Asks Windows to run this exe elevated with these parameters, and returns at once, while the
    // UAC prompt may still be up: whether it started comes back through
    // AutoStartController::OnElevationStarted, and its end through OnElevatedExit.
    virtual void Start(const std::wstring& parameters) = 0;
};

class AutoStartController {
  public:
    using Log = std::function<void(std::wstring_view)>;

    AutoStartController(std::wstring exePath, AutoStartScope scope, ShellObjectFactory& shellObjects,
                        RunKeyStore& runKey, ElevatedCopyLauncher& launcher, AutoStartView& view,
                        Log log);

    // A fresh window: the box shows the registry's state and nothing is pending.
    void Load();
    // The box changed to value (1 ticked) by the user.
    void OnBoxChanged(int value);
    // The prompt was answered: the elevated copy runs, or never will.
    void OnElevationStarted(const ElevationStart& start);
    // The elevated copy ended with this exit code.
    void OnElevatedExit(std::uint32_t exitCode);
    // From the prompt until the box shows what the elevated copy left.
    bool Pending() const { return pending_; }

  private:
    void ShowTruth();
    void Fail(std::int32_t number, std::wstring description);

    std::wstring exePath_;
    AutoStartEntry entry_;
    ShellObjectFactory& shellObjects_;
    RunKeyStore& runKey_;
    ElevatedCopyLauncher& launcher_;
    AutoStartView& view_;
    Log log_;
    bool pending_ = false;
};

}  // namespace vossel
