#include "start/start_measurement.h"

#include "start/sign_in.h"

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
    // Without a suspension, a shell older than the kernel (the wall clock set forward after the
    // shell started) is not measured: never a negative number.
    clocks.unbiasedInterruptTime = clocks.interruptTime;
    const StartMeasurement full = MeasureStart(kNow - 3 * kDay - 250 * kMs, clocks, wake);
    EXPECT_EQ(full.kind, kNot);
    EXPECT_EQ(full.reason, kShellBeforeStart);
}

// A start of 20 s to the sign-in screen, 40 s there and 10 s of signing in (30 s without the
// wait), measured 10 s after the shell; the clock stepped once, at a true instant since the start.
// Stamps after the step read on the new clock, those before on the old one.
TEST(MeasureStartAndApplySignIn, PlaceEveryStampOnOneClockOrShowNoWrongNumber) {
    struct StepCase {
        const char* name;
        std::int64_t stepAtS;  // the true instant of the change, s after the kernel's start
        std::int64_t stepMs;   // NewTime - OldTime
        std::uint32_t reason;
        std::wstring read;  // the caption with the changes read, and its wait label
        std::wstring_view readWait;
        std::wstring unread;  // and with the System log unreadable
        std::wstring_view unreadWait;
    };
    constexpr std::uint32_t kSet = 1;
    constexpr std::uint32_t kHardware = 2;
    // clang-format off
    const StepCase cases[] = {
        // name                              at     step          reason     read  wait     unread  wait
        {"+10 s during the wait",            40,    10'000,       kSet,      L"30", {},      L"20",  {}},
        {"-10 s during the wait",            40,    -10'000,      kSet,      L"30", {},      L"40",  {}},
        {"+120 s during the wait",           40,    120'000,      kSet,      L"30", {},      L"--",  {}},
        {"-120 s during the wait",           40,    -120'000,     kSet,      L"30", {},      L"70",  kTimesOutOfOrder},
        {"+40 s after the shell",            75,    40'000,       kSet,      L"30", {},      L"--",  {}},
        {"-40 s after the shell",            75,    -40'000,      kSet,      L"30", {},      L"--",  {}},
        {"+30 s before the sign-in screen",  10,    30'000,       kSet,      L"30", {},      L"30",  {}},
        {"-3 s during signing in",           65,    -3'000,       kSet,      L"30", {},      L"30",  {}},
        {"-15 s, 10 s before the sign-in: it reads both ways", 50, -15'000, kSet, L"70", kClock, L"45", {}},
        {"the boot's hardware clock: no step", 1,   3'600'000,    kHardware, L"30", {},      L"30",  {}},
        {"a tiny adjustment",                40,    200,          kSet,      L"29.8", {},    L"29.8", {}},
    };
    // clang-format on
    for (const StepCase& c : cases) {
        const auto raw = [&](std::int64_t atS) {
            const std::int64_t onOldClock = static_cast<std::int64_t>(kNow) + atS * 10'000'000;
            return static_cast<std::uint64_t>(onOldClock +
                                              (atS >= c.stepAtS ? c.stepMs * 10'000 : 0));
        };
        StartClocks clocks;
        clocks.systemTime = raw(80);
        clocks.interruptTime = 80 * kSecond;
        clocks.unbiasedInterruptTime = 80 * kSecond;
        const std::uint64_t old = raw(c.stepAtS) - static_cast<std::uint64_t>(c.stepMs * 10'000);
        const std::vector<ClockChange> changes = {{raw(c.stepAtS), old, raw(c.stepAtS), c.reason}};
        SignInEvidence evidence;
        evidence.session = SessionReading{raw(20), raw(60), false, false, {}, {}};
        for (const bool read : {true, false}) {
            if (read)
                evidence.clockChanges = changes;
            else
                evidence.clockChanges.reset();
            const StartMeasurement span = MeasureStart(
                raw(70), clocks, [] { return std::nullopt; }, evidence.clockChanges);
            const StartMeasurement shown = ApplySignIn(span, evidence);
            EXPECT_EQ(StartCaption(shown, L"."), read ? c.read : c.unread) << c.name << read;
            EXPECT_EQ(shown.waitIncluded, read ? c.readWait : c.unreadWait) << c.name << read;
            if (shown.kind == kNot) {
                EXPECT_EQ(shown.reason, kClock) << c.name << read;
            }
        }
    }
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
