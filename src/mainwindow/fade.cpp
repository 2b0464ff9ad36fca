#include "mainwindow/fade.h"

namespace vossel {

void FadeMachine::Load() {
    level = kFadeStep;
    step = kFadeStep;
    timerIntervalMs = kFadeIntervalMs;
}

FadeOutcome FadeMachine::Tick() {
    level = static_cast<std::int16_t>(level + step);
    if (level == 0) {
        return {FadeAction::EndProgram, 0};
    }
    // 255 is never applied: the fade-in rests at 250 and stops the timer one step later.
    if (level >= 5 && level <= 254) {
        return {FadeAction::ApplyLevel, static_cast<std::uint8_t>(level)};
    }
    if (level == 255) {
        timerEnabled = false;
        return {FadeAction::StopTimer, 0};
    }
    return {FadeAction::Nothing, 0};
}

bool FadeMachine::CloseRequest() {
    timerEnabled = true;
    step = -kFadeStep;
    return true;
}

}  // namespace vossel
