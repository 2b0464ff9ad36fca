#pragma once
// The settings window: one check box that turns the start at log-on on and off, and a back button.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/controls.h"
#include "platform/elevation.h"
#include "platform/ui/timer.h"
#include "platform/ui/window.h"
#include "settings/autostart.h"
#include "settings/autostart_controller.h"

namespace vossel {

class SettingsWindow final : private AutoStartView, private ElevatedCopyLauncher {
  public:
    SettingsWindow();
    SettingsWindow(const SettingsWindow&) = delete;
    SettingsWindow& operator=(const SettingsWindow&) = delete;
    ~SettingsWindow() override;

    // Modeless: loads a fresh window when it is not loaded, then shows and activates it.
    void Show();
    // A machine-wide change is with the UAC prompt or the elevated copy, and the box does not yet
    // show what it did.
    bool ChangePending() const { return window_.IsLoaded() && autostart_.Pending(); }

  private:
    void OnAutostartBoxClick();
    void OnBackClick();
    void OnElevationPoll();
    void OnUnloaded();

    // AutoStartView
    void ShowBox(int value) override;
    void SetBoxEnabled(bool enabled) override;
    void ShowError(std::int32_t number, const std::wstring& description) override;
    std::wstring ErrorText(std::int32_t number) override;
    // ElevatedCopyLauncher
    void Start(const std::wstring& parameters) override;

    std::wstring exePath_;
    AutoStartScope scope_;
    std::unique_ptr<ShellObjectFactory> shellObjects_;
    std::unique_ptr<RunKeyStore> runKey_;
    AutoStartController autostart_;
    // The prompt while it is up, then the elevated copy while it runs; let go of when it ends or
    // when the window unloads.
    std::shared_ptr<platform::BackgroundElevation> elevation_;
    platform::UniqueProcess elevatedCopy_;

    platform::CheckBox autostartBox_;
    platform::PushButton backButton_;
    platform::Timer elevationPoll_;
    // Last, so that it is destroyed first: its teardown still reaches the controls.
    platform::Window window_;
};

}  // namespace vossel
