#pragma once
// The settings window: one check box that turns the start at log-on on and off, and a back button.
#include "platform/controls.h"
#include "platform/window.h"

namespace vossel {

class SettingsWindow {
  public:
    SettingsWindow();
    SettingsWindow(const SettingsWindow&) = delete;
    SettingsWindow& operator=(const SettingsWindow&) = delete;

    // Modeless: loads a fresh window when it is not loaded, then shows and activates it.
    void Show();

  private:
    void OnAutostartBoxClick();
    void OnBackClick();

    platform::CheckBox autostartBox_;
    platform::PushButton backButton_;
    // Last, so that it is destroyed first: its teardown still reaches the controls.
    platform::Window window_;
};

}  // namespace vossel
