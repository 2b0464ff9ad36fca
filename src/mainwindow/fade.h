#pragma once

#include <cstdint>

namespace vossel {

inline constexpr int kFadeIntervalMs = 5;
inline constexpr std::int16_t kFadeStep = 5;

enum class FadeAction { Nothing, EndProgram, ApplyLevel, StopTimer };

struct FadeOutcome {
    FadeAction action;
    std::uint8_t level;  // only for ApplyLevel
};

// The fade's decisions on load, on each fade-timer tick and on each close request, without a
// window: the main window carries out each outcome and mirrors timerEnabled and timerIntervalMs
// onto its real fade timer.
class FadeMachine {
  public:
    // level = 5, step = +5, the timer gets its interval; the window then applies opacity 0.
    void Load();
    // One fade-timer tick: exactly one outcome.
    FadeOutcome Tick();
    // Every close request: the timer runs again and the step turns to -5. Returns whether the
    // close is cancelled, which it always is: the fade-out ends the program instead.
    bool CloseRequest();

    std::int16_t level = 0;  // 0..255, a multiple of 5
    std::int16_t step = 0;
    bool timerEnabled = true;  // enabled from the start, but idle until it has an interval
    int timerIntervalMs = 0;
};

}  // namespace vossel
