#include "start/start_measurement.h"

#include "start/boot_duration.h"

namespace vossel {
namespace {

constexpr std::int64_t kTicksPerMs = 10'000;
// Suspended time below this is no suspension: the tick-count stand-in moves in steps of 10 to
// 16 ms, and some systems report the unbiased time a millisecond ahead of the biased one.
constexpr std::int64_t kSuspendedTolerance = 2'000 * kTicksPerMs;

std::int64_t FloorMs(std::int64_t ticks) {
    const std::int64_t quotient = ticks / kTicksPerMs;
    return ticks % kTicksPerMs < 0 ? quotient - 1 : quotient;
}

// startAt and shellAt are on the interrupt clock, where the shell's creation is shellCreated.
StartMeasurement Measured(StartKind kind, std::uint64_t shellCreated, std::int64_t shellAt,
                          std::int64_t startAt) {
    StartMeasurement measurement;
    measurement.kind = kind;
    measurement.durationMs = FloorMs(shellAt - startAt);
    measurement.startUtc = shellCreated - static_cast<std::uint64_t>(shellAt - startAt);
    measurement.shellCreatedUtc = shellCreated;
    measurement.startPlace = static_cast<std::uint64_t>(startAt);
    return measurement;
}

}  // namespace

bool SuspendedSinceStart(const StartClocks& clocks) {
    if (!clocks.unbiasedInterruptTime) return false;
    const auto interrupt =
        static_cast<std::int64_t>(clocks.interruptTime.value_or(clocks.tickCountMs * kTicksPerMs));
    return interrupt - static_cast<std::int64_t>(*clocks.unbiasedInterruptTime) >
           kSuspendedTolerance;
}

StartMeasurement MeasureStart(std::uint64_t stampedShell, const StartClocks& clocks,
                              const SuspendTimesReader& suspendTimes,
                              const std::optional<std::vector<ClockChange>>& clockChanges) {
    if (!clocks.unbiasedInterruptTime) return StartMeasurement::NotMeasured(kClock);
    // Every value below is far below 2^63: FILETIMEs until the year 30828, interrupt times for
    // 29 000 years of uptime.
    const auto interrupt =
        static_cast<std::int64_t>(clocks.interruptTime.value_or(clocks.tickCountMs * kTicksPerMs));
    // Between the kernel's start and now, on the present clock.
    const std::uint64_t kernelStart =
        clocks.systemTime > static_cast<std::uint64_t>(interrupt)
            ? clocks.systemTime - static_cast<std::uint64_t>(interrupt)
            : 0;
    const std::optional<std::uint64_t> placed =
        clockChanges ? OnPresentClock(stampedShell, *clockChanges, kernelStart, clocks.systemTime)
                     : stampedShell;
    if (!placed) return StartMeasurement::NotMeasured(kClock);
    const std::uint64_t shellCreated = *placed;
    const auto unbiased = static_cast<std::int64_t>(*clocks.unbiasedInterruptTime);
    const std::int64_t shellAge =
        static_cast<std::int64_t>(clocks.systemTime) - static_cast<std::int64_t>(shellCreated);
    if (shellAge < 0) return StartMeasurement::NotMeasured(kClock);
    // The shell's creation on the interrupt clock.
    const std::int64_t shellAt = interrupt - shellAge;

    const std::int64_t suspended = interrupt - unbiased;
    if (suspended < -kSuspendedTolerance) return StartMeasurement::NotMeasured(kClock);
    if (suspended <= kSuspendedTolerance) {
        // Never suspended: the interrupt clock started with this kernel, before any process.
        if (shellAt < 0) return StartMeasurement::NotMeasured(kShellBeforeStart);
        StartMeasurement measured = Measured(StartKind::FullBoot, shellCreated, shellAt, 0);
        measured.placedOnClock = clockChanges.has_value();
        measured.measuredUtc = clocks.systemTime;
        return measured;
    }
    // Suspended at least once. The kernel-start formula would add the hours the PC was off, so
    // only the last wake will do, and only if it belongs to this start: a wake that a Fast
    // Startup power-on left standing from an earlier one is hours or days off.
    const std::optional<SuspendTimes> times = suspendTimes();
    if (!times || times->lastWake == 0) return StartMeasurement::NotMeasured(kNoWakeTime);
    const auto sleep = static_cast<std::int64_t>(times->lastSleep);
    const auto wake = static_cast<std::int64_t>(times->lastWake);
    // On the interrupt clock a wake comes after its own sleep, and after all the suspended time
    // that preceded it.
    if (sleep > wake || wake < suspended) return StartMeasurement::NotMeasured(kNoWakeTime);
    if (shellAt < 0) return StartMeasurement::NotMeasured(kClock);
    if (wake > shellAt) return StartMeasurement::NotMeasured(kSleptAfterSignIn);
    StartMeasurement measured = Measured(StartKind::Resume, shellCreated, shellAt, wake);
    measured.placedOnClock = clockChanges.has_value();
    measured.measuredUtc = clocks.systemTime;
    return measured;
}

std::wstring StartCaption(const StartMeasurement& measurement, std::wstring_view decimalSeparator) {
    if (measurement.kind != StartKind::NotMeasured) {
        return DurationText(measurement.durationMs, decimalSeparator);
    }
    if (measurement.firstLogonMs) return DurationText(*measurement.firstLogonMs, decimalSeparator);
    return L"--";
}

bool ReplacesShown(const StartMeasurement& shown, const StartMeasurement& next) {
    if (shown.kind != StartKind::NotMeasured && next.reason == kShellRestarted) return false;
    return shown.kind != next.kind || shown.reason != next.reason || shown.logon != next.logon ||
           shown.waitIncluded != next.waitIncluded ||
           shown.firstLogonMs.has_value() != next.firstLogonMs.has_value() ||
           shown.signingInMs.has_value() != next.signingInMs.has_value() ||
           shown.placedOnClock != next.placedOnClock;
}

}  // namespace vossel
