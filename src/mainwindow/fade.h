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

// The decisions of Form_Load, Timer1_Timer and Form_Unload, without a window: the form carries
// out each outcome and mirrors Timer1Enabled and Timer1Interval onto its real timer.
class FadeMachine {
  public:
    // Alpha = 5, AlphaStep = +5, Timer1 gets its interval; the form then applies opacity 0.
    void Load();
    // One Timer1 tick: exactly one outcome.
    FadeOutcome Tick();
    // Every close request: Timer1 on, AlphaStep = -5. Returns Cancel, which is always true.
    bool CloseRequest();

    std::int16_t Alpha = 0;
    std::int16_t AlphaStep = 0;
    bool Timer1Enabled = true;  // Timer1 starts enabled, but idle until it has an interval
    int Timer1Interval = 0;
};

}  // namespace vossel
