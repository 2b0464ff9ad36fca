#pragma once
// The main window: the boot duration over a sky-blue picture, fading in, topmost, and gone after
// 15 seconds or after a fade-out when the user closes it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "mainwindow/fade.h"
#include "mainwindow/start_measurement.h"
#include "mainwindow/start_recorder.h"
#include "platform/label.h"
#include "platform/timer.h"
#include "platform/unique_handle.h"
#include "platform/window.h"

namespace vossel {

class SettingsWindow;

// The process that owns the shell window; without one, the last process of this session in one
// snapshot whose name holds "explorer.exe". 0 if none.
std::uint32_t FindShellProcessId();

// One whole measurement, as each paint makes it: the shell lookup, its creation time, the clocks
// and, after a suspension, the last wake.
StartMeasurement MeasureStartOfShell();

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
    std::int32_t exStyle_ = 0;             // the extended style last written to the window
    std::wstring_view notMeasuredReason_;  // of the last paint; empty when it measured
    bool startReported_ = false;
    bool announced_ = false;
    // When the timed end was first held for a pending elevated change.
    std::optional<std::uint64_t> endHeldSinceMs_;
    FadeMachine fade_;
    std::unique_ptr<SettingsWindow> settings_;
    StartRecorder startRecorder_;
    // Last, so that it is destroyed first: its teardown still reaches the labels and timers.
    platform::Window window_;
};

}  // namespace vossel
