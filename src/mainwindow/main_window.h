#pragma once
// The main window: the boot duration over a sky-blue picture, fading in, topmost, and gone after
// 15 seconds or after a fade-out when the user closes it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "mainwindow/fade.h"
#include "mainwindow/start_recorder.h"
#include "platform/ui/label.h"
#include "platform/ui/timer.h"
#include "platform/unique_handle.h"
#include "platform/ui/window.h"
#include "start/sign_in.h"
#include "start/start_measurement.h"
#include "startup/startup_watch.h"

namespace vossel {

class SettingsWindow;

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
    void ReadEarlierLogons(std::uint64_t startUtc);
    void OnEarlierLogons(std::unique_ptr<SignInEvidence> evidence);
    void ReportSignIn(const StartMeasurement& measurement);
    // The window's end. Without a watching running, the program's; with one, the window goes
    // and the program ends once the watching is done.
    void End(std::wstring_view reason);

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
    // The measurement on show: a repaint replaces it only with one that differs in kind.
    std::optional<StartMeasurement> shown_;
    // The earlier log-ons of this start, read off this thread after the first caption.
    SignInEvidence earlierLogons_;
    enum class EarlierLogonsState {
        NotAsked,
        Reading,
        Read
    } earlierState_ = EarlierLogonsState::NotAsked;
    std::optional<std::wstring> signInLine_;  // the last one reported
    std::optional<bool> firstLocked_;         // the session's lock flag at the first reading
    bool startReported_ = false;
    bool announced_ = false;
    // When the timed end was first held for a pending elevated change.
    std::optional<std::uint64_t> endHeldSinceMs_;
    FadeMachine fade_;
    std::unique_ptr<SettingsWindow> settings_;
    StartRecorder startRecorder_;
    // Goes on after the window's 15 s, with no window shown, up to 90 s after the sign-in.
    StartupWatch watch_;
    bool windowGone_ = false;
    // Last, so that it is destroyed first: its teardown still reaches the labels and timers.
    platform::Window window_;
};

}  // namespace vossel
