#include "start/start_measurement.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace vossel {
namespace {

constexpr std::uint64_t kMs = 10'000;  // 100 ns units
constexpr std::uint64_t kSecond = 1000 * kMs;
constexpr std::uint64_t kHour = 3600 * kSecond;
constexpr std::uint64_t kDay = 24 * kHour;
// 2024-03-11 00:36:10 UTC as a FILETIME.
constexpr std::uint64_t kNow = 133'545'909'700'000'000;

struct StartCase {
    const char* name;
    std::optional<std::uint64_t> interruptTime;
    std::uint64_t tickCountMs;
    std::optional<std::uint64_t> unbiased;
    std::uint64_t shellAge;  // now minus the shell's creation
    std::optional<SuspendTimes> suspendTimes;  // last sleep, last wake
    StartKind kind;
    std::int64_t durationMs;
    std::wstring_view reason;
};

constexpr auto kFull = StartKind::FullBoot;
constexpr auto kResume = StartKind::Resume;
constexpr auto kNot = StartKind::NotMeasured;

// clang-format off
const StartCase kStartCases[] = {
    // name                                   interrupt                        tick ms     unbiased                         shell age               last sleep, last wake                                  kind    ms      reason
    {"full boot",                             120 * kSecond + 2'751'234,       0,          120 * kSecond + 2'751'234,       80 * kSecond,           std::nullopt,                                          kFull,  40'275, {}},
    {"full boot, a wake time left over",      120 * kSecond,                   0,          120 * kSecond,                   80 * kSecond,           SuspendTimes{20 * kSecond, 30 * kSecond},              kFull,  40'000, {}},
    {"unbiased a millisecond ahead",          120 * kSecond,                   0,          120 * kSecond + kMs,             80 * kSecond,           std::nullopt,                                          kFull,  40'000, {}},
    {"Fast Startup: days off, then power-on", 3 * kDay + 100 * kSecond,        0,          2 * kHour + 100 * kSecond,       35 * kSecond,           SuspendTimes{2 * kHour + 30 * kSecond, 3 * kDay + 40 * kSecond}, kResume, 25'000, {}},
    {"hibernated at the sign-in screen",      9 * kHour + 300 * kSecond,       0,          kHour + 300 * kSecond,           120 * kSecond,          SuspendTimes{kHour + 60 * kSecond, 9 * kHour + 84'500 * kMs}, kResume, 95'500, {}},
    {"a short nap before sign-in",            600 * kSecond,                   0,          595 * kSecond,                   20 * kSecond,           SuspendTimes{565 * kSecond, 570 * kSecond},            kResume, 10'000, {}},
    {"wake at the very moment of the shell",  kDay + 60 * kSecond,             0,          60 * kSecond,                    10 * kSecond,           SuspendTimes{45 * kSecond, kDay + 50 * kSecond},       kResume, 0,      {}},
    {"slept after sign-in",                   kDay + 8 * kHour,                0,          8 * kHour,                       4 * kHour,              SuspendTimes{6 * kHour, kDay + 6 * kHour},             kNot,   0,      kSleptAfterSignIn},
    {"suspended, the wake time unavailable",  3 * kDay,                        0,          kHour,                           60 * kSecond,           std::nullopt,                                          kNot,   0,      kNoWakeTime},
    {"suspended, a wake time of zero",        3 * kDay,                        0,          kHour,                           60 * kSecond,           SuspendTimes{0, 0},                                    kNot,   0,      kNoWakeTime},
    {"an earlier start's wake left standing", 3 * kDay + 100 * kSecond,        0,          2 * kHour + 100 * kSecond,       35 * kSecond,           SuspendTimes{20 * kHour, kDay},                        kNot,   0,      kNoWakeTime},
    {"the wake one tick short of the suspension", 3 * kDay,                    0,          kHour,                           60 * kSecond,           SuspendTimes{kHour / 2, 3 * kDay - kHour - 1},         kNot,   0,      kNoWakeTime},
    {"a sleep after the last wake",           3 * kDay + 100 * kSecond,        0,          2 * kHour + 100 * kSecond,       35 * kSecond,           SuspendTimes{3 * kDay + 50 * kSecond, 3 * kDay + 40 * kSecond}, kNot, 0,  kNoWakeTime},
    {"tick count stands in: worked example",  std::nullopt,                    95'250,     95'250 * kMs + 9'999,            67'500 * kMs,           std::nullopt,                                          kFull,  27'750, {}},
    {"tick count stands in after a resume",   std::nullopt,                    2 * 86'400'000 + 50'000, 50 * kSecond,      20 * kSecond,           SuspendTimes{10 * kSecond, 2 * kDay + 12 * kSecond},   kResume, 18'000, {}},
    {"unbiased clock unreadable",             120 * kSecond,                   0,          std::nullopt,                    80 * kSecond,           std::nullopt,                                          kNot,   0,      kClock},
    {"unbiased far ahead of biased",          120 * kSecond,                   0,          130 * kSecond,                   80 * kSecond,           std::nullopt,                                          kNot,   0,      kClock},
};
// clang-format on

TEST(MeasureStart, TakesTheStartTheUserExperienced) {
    for (const StartCase& c : kStartCases) {
        StartClocks clocks;
        clocks.systemTime = kNow;
        clocks.interruptTime = c.interruptTime;
        clocks.tickCountMs = c.tickCountMs;
        clocks.unbiasedInterruptTime = c.unbiased;
        const StartMeasurement got =
            MeasureStart(kNow - c.shellAge, clocks, [&c] { return c.suspendTimes; });
        EXPECT_EQ(got.kind, c.kind) << c.name;
        EXPECT_EQ(got.reason, c.reason) << c.name;
        if (c.kind != kNot) {
            EXPECT_EQ(got.durationMs, c.durationMs) << c.name;
        }
    }
}

TEST(MeasureStart, RefusesWhatTheClocksCannotPlace) {
    StartClocks clocks;
    clocks.systemTime = kNow;
    clocks.interruptTime = 3 * kDay;
    clocks.unbiasedInterruptTime = kHour;
    // Woken the very moment the suspended time allows.
    const auto wake = [] { return std::optional<SuspendTimes>({kHour / 2, 3 * kDay - kHour}); };
    // The wall clock went back after the shell started.
    EXPECT_EQ(MeasureStart(kNow + kSecond, clocks, wake).reason, kClock);
    // Created before the wake by the wall clock's account, before the kernel's start too.
    EXPECT_EQ(MeasureStart(kNow - 4 * kDay, clocks, wake).reason, kClock);
    // Without a suspension the old formula holds, negative as ever when the wall clock was set
    // forward after the shell started.
    clocks.unbiasedInterruptTime = clocks.interruptTime;
    const StartMeasurement full = MeasureStart(kNow - 3 * kDay - 250 * kMs, clocks, wake);
    EXPECT_EQ(full.kind, kFull);
    EXPECT_EQ(full.durationMs, -250);
}

TEST(StartCaption, ShowsSecondsOrTwoDashes) {
    const std::vector<std::tuple<StartMeasurement, const wchar_t*, std::wstring>> cases = {
        {{StartKind::FullBoot, 27'750, {}}, L".", L"27.75"},
        {{StartKind::Resume, 27'750, {}}, L",", L"27,75"},
        {{StartKind::Resume, 25'000, {}}, L".", L"25"},
        {{StartKind::FullBoot, -250, {}}, L".", L"-0.25"},
        {StartMeasurement::NotMeasured(kNoWakeTime), L".", L"--"},
        {StartMeasurement::NotMeasured(kNoShell), L",", L"--"},
    };
    for (const auto& [measurement, separator, expected] : cases) {
        EXPECT_EQ(StartCaption(measurement, separator), expected) << measurement.durationMs;
    }
}

}  // namespace
}  // namespace vossel
