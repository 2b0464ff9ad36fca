#include "mainwindow/fade.h"

namespace vossel {

void FadeMachine::Load() {
    Alpha = kFadeStep;
    AlphaStep = kFadeStep;
    Timer1Interval = kFadeIntervalMs;
}

FadeOutcome FadeMachine::Tick() {
    Alpha = static_cast<std::int16_t>(Alpha + AlphaStep);
    if (Alpha == 0) {
        return {FadeAction::EndProgram, 0};
    }
    // 255 is never applied: the fade-in rests at 250 and stops the timer one step later.
    if (Alpha >= 5 && Alpha <= 254) {
        return {FadeAction::ApplyLevel, static_cast<std::uint8_t>(Alpha)};
    }
    if (Alpha == 255) {
        Timer1Enabled = false;
        return {FadeAction::StopTimer, 0};
    }
    return {FadeAction::Nothing, 0};
}

bool FadeMachine::CloseRequest() {
    Timer1Enabled = true;
    AlphaStep = -kFadeStep;
    return true;
}

}  // namespace vossel
