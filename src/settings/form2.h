#pragma once
// The settings window: one check box that turns the start at log-on on and off, and a back button.
#include "platform/controls.h"
#include "platform/window.h"

namespace vossel {

class Form2 {
  public:
    Form2();
    Form2(const Form2&) = delete;
    Form2& operator=(const Form2&) = delete;

    // Modeless: loads a fresh window when it is not loaded, then shows and activates it.
    void Show();

  private:
    void Check1_Click();
    void Command1_Click();

    platform::Window window_;
    platform::CheckBox Check1;
    platform::PushButton Command1;
};

}  // namespace vossel
