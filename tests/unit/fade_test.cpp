#include "mainwindow/fade.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vossel {
namespace {

std::vector<int> Levels(int from, int to, int step) {
    std::vector<int> levels;
    for (int level = from; step > 0 ? level <= to : level >= to; level += step) {
        levels.push_back(level);
    }
    return levels;
}

struct FadeRun {
    std::vector<int> levels;  // ApplyLevel outcomes, in order
    int ticks = 0;
    FadeAction last = FadeAction::Nothing;
};

// Ticks while the form's timer would run, the way the message loop delivers them, and closes
// the window before the ticks listed in closeBeforeTicks (0 = before the first tick).
FadeRun Drive(FadeMachine& machine, const std::vector<int>& closeBeforeTicks) {
    FadeRun run;
    while (run.ticks < 1000) {
        for (int closeAt : closeBeforeTicks) {
            if (closeAt == run.ticks) {
                EXPECT_TRUE(machine.CloseRequest());
            }
        }
        if (!machine.timerEnabled || machine.timerIntervalMs <= 0) {
            break;
        }
        const FadeOutcome outcome = machine.Tick();
        ++run.ticks;
        run.last = outcome.action;
        if (outcome.action == FadeAction::ApplyLevel) {
            run.levels.push_back(outcome.level);
        } else if (outcome.action == FadeAction::EndProgram) {
            break;
        }
    }
    return run;
}

TEST(FadeMachine, LoadStartsTheFadeIn) {
    FadeMachine machine;
    EXPECT_TRUE(machine.timerEnabled);
    EXPECT_EQ(machine.timerIntervalMs, 0);  // enabled but idle until the window loads
    machine.Load();
    EXPECT_EQ(machine.level, 5);
    EXPECT_EQ(machine.step, 5);
    EXPECT_TRUE(machine.timerEnabled);
    EXPECT_EQ(machine.timerIntervalMs, kFadeIntervalMs);
}

TEST(FadeMachine, FadesInTo250AndStopsTheTimerOnThe50thTick) {
    FadeMachine machine;
    machine.Load();
    const FadeRun run = Drive(machine, {});
    EXPECT_EQ(run.levels, Levels(10, 250, 5));
    EXPECT_EQ(run.levels.size(), 49u);
    EXPECT_EQ(run.ticks, 50);
    EXPECT_EQ(run.last, FadeAction::StopTimer);
    EXPECT_FALSE(machine.timerEnabled);
    EXPECT_EQ(machine.level, 255);
}

struct FadeOutCase {
    std::string name;
    std::vector<int> closeBeforeTicks;
    std::vector<int> expectedLevels;  // after the fade-in levels that precede the first close
    int expectedTicks;                // from the first close to the end
};

std::vector<FadeOutCase> FadeOutCases() {
    std::vector<FadeOutCase> cases = {
        // At rest the first fade-out tick applies 250 again; the visible fade starts at 245.
        {"from rest", {50}, Levels(250, 5, -5), 51},
        {"close before the first tick", {0}, {}, 1},
        {"repeated close before the first tick", {0, 0, 0}, {}, 1},
        {"repeated close requests during the fade-out", {50, 60, 61, 100}, Levels(250, 5, -5), 51},
        {"repeated close requests during the fade-in", {20, 21, 25}, Levels(100, 5, -5), 21},
    };
    // Begun while fading in at level L: L-5 down to 5, ending after L/5 ticks, with no jump.
    for (int level = 5; level <= 250; level += 5) {
        cases.push_back({"begun at " + std::to_string(level),
                         {level / 5 - 1},
                         Levels(level - 5, 5, -5),
                         level / 5});
    }
    return cases;
}

TEST(FadeMachine, FadesOutFromWhereverTheCloseRequestFindsIt) {
    for (const FadeOutCase& c : FadeOutCases()) {
        FadeMachine machine;
        machine.Load();
        const int firstClose = c.closeBeforeTicks.front();
        const FadeRun run = Drive(machine, c.closeBeforeTicks);

        std::vector<int> expected = Levels(10, 5 + 5 * std::min(firstClose, 49), 5);
        expected.insert(expected.end(), c.expectedLevels.begin(), c.expectedLevels.end());
        EXPECT_EQ(run.levels, expected) << c.name;
        EXPECT_EQ(run.ticks - firstClose, c.expectedTicks) << c.name;
        EXPECT_EQ(run.last, FadeAction::EndProgram) << c.name;
        EXPECT_EQ(machine.level, 0) << c.name;
        EXPECT_EQ(machine.step, -5) << c.name;
    }
}

TEST(FadeMachine, CloseRequestRestartsAStoppedTimerAndAlwaysCancels) {
    FadeMachine machine;
    machine.Load();
    Drive(machine, {});
    ASSERT_FALSE(machine.timerEnabled);
    EXPECT_TRUE(machine.CloseRequest());
    EXPECT_TRUE(machine.timerEnabled);
    EXPECT_EQ(machine.step, -5);
    EXPECT_EQ(machine.level, 255);  // the request itself applies nothing
    EXPECT_TRUE(machine.CloseRequest());
    EXPECT_EQ(machine.step, -5);
    EXPECT_EQ(machine.level, 255);
}

}  // namespace
}  // namespace vossel
