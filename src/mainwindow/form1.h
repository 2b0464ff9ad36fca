#pragma once
// The main window: the boot duration over a sky-blue picture, fading in, topmost, and gone after
// 15 seconds or after a fade-out when the user closes it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "mainwindow/fade.h"
#include "platform/label.h"
#include "platform/timer.h"
#include "platform/unique_handle.h"
#include "platform/window.h"

namespace vossel {

class Form2;

// The process id of the last process in one snapshot whose name holds "explorer.exe"; 0 if none.
std::uint32_t FindShellProcessId();

// One whole boot-duration measurement, as Form_Paint makes it: the shell lookup, its clocks and
// the caption text. Empty when the shell or its creation time cannot be read.
std::wstring MeasureBootDurationText();

class Form1 {
  public:
    // endProgram ends the program at once and does not return.
    using EndProgramFunction = void (*)(std::wstring_view reason);

    explicit Form1(EndProgramFunction endProgram);
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;
    ~Form1();

    // Creates and loads the window (Form_Load runs while it is hidden), then shows it.
    void Show();

  private:
    void Form_Load();
    void Form_Paint();
    void Form_Unload(std::int16_t& Cancel);
    void Label3_Click();
    void Timer1_Timer();
    void Timer2_Timer();

    void MakeLayered();

    EndProgramFunction endProgram_;
    platform::UniqueMemoryFont segmentFont_;
    platform::Window window_;
    platform::Label Label1;
    platform::Label Label2;
    platform::Label Label3;
    platform::Label Label4;
    platform::Timer Timer1;
    platform::Timer Timer2;

    std::int32_t ExStyle = 0;
    FadeMachine fade_;  // holds Alpha and AlphaStep
    std::unique_ptr<Form2> form2_;
};

}  // namespace vossel
