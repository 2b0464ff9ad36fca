#pragma once
// The main window: the boot duration over a sky-blue picture, fading in, topmost, and gone after
// 15 seconds or after a fade-out when the user closes it.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "mainwindow/fade.h"
#include "platform/label.h"
#include "platform/timer.h"
#include "platform/unique_handle.h"
#include "platform/window.h"

namespace vossel {

class SettingsWindow;

// The process id of the last process in one snapshot whose name holds "explorer.exe"; 0 if none.
std::uint32_t FindShellProcessId();

// One whole boot-duration measurement, as each paint makes it: the shell lookup, its clocks and
// the caption text. Empty when the shell or its creation time cannot be read.
std::wstring MeasureBootDurationText();

class MainWindow {
  public:
    // endProgram ends the program at once and does not return.
    using EndProgramFunction = void (*)(std::wstring_view reason);

    explicit MainWindow(EndProgramFunction endProgram);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    ~MainWindow();

    // Creates and loads the window (OnLoad runs while it is hidden), then shows it.
    void Show();

  private:
    void OnLoad();
    void OnPaint();
    void OnCloseRequest(bool& cancel);
    void OnSettingsLinkClick();
    void OnFadeTick();
    void OnLifeTimerTick();

    void MakeLayered();

    EndProgramFunction endProgram_;
    platform::UniqueMemoryFont segmentFont_;
    platform::Label promptLabel_;
    platform::Label durationLabel_;
    platform::Label settingsLink_;
    platform::Label secondsLabel_;
    platform::Timer fadeTimer_;
    platform::Timer lifeTimer_;
    std::int32_t exStyle_ = 0;  // the extended style last written to the window
    FadeMachine fade_;
    std::unique_ptr<SettingsWindow> settings_;
    // Last, so that it is destroyed first: its teardown still reaches the labels and timers.
    platform::Window window_;
};

}  // namespace vossel
