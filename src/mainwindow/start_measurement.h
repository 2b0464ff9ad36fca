#pragma once
// Which start the user experienced, and how long it took up to the shell's creation: the kernel's
// start after a full boot, its last wake after a Fast Startup power-on, a hibernation or a sleep.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vossel {

// One reading of the clocks, taken back to back. Every time is in 100 ns units.
struct StartClocks {
    std::uint64_t systemTime = 0;  // UTC, as a FILETIME
    // The biased interrupt time (it counts sleep and hibernation); absent before Windows 10.
    std::optional<std::uint64_t> interruptTime;
    std::uint64_t tickCountMs =
        0;  // the same clock in milliseconds, used where the above is absent
    // The unbiased interrupt time (it does not); absent when it could not be read.
    std::optional<std::uint64_t> unbiasedInterruptTime;
};

enum class StartKind { FullBoot, Resume, NotMeasured };

struct StartMeasurement {
    StartKind kind = StartKind::NotMeasured;
    std::int64_t durationMs = 0;  // from the start to the shell's creation
    std::wstring_view reason;     // why not, when not measured
    // The instants of the same clock reading, as FILETIMEs (UTC); 0 when unknown. The start is
    // the kernel's start or the last wake, and shellCreatedUtc minus startUtc is the duration.
    std::uint64_t startUtc = 0;
    std::uint64_t shellCreatedUtc = 0;

    static StartMeasurement NotMeasured(std::wstring_view why) {
        StartMeasurement measurement;
        measurement.reason = why;
        return measurement;
    }
};

inline constexpr std::wstring_view kNoShell = L"no shell";
inline constexpr std::wstring_view kShellNotReadable = L"shell not readable";
inline constexpr std::wstring_view kSleptAfterSignIn = L"slept after sign-in";
inline constexpr std::wstring_view kNoWakeTime = L"no wake time";
inline constexpr std::wstring_view kClock = L"clock";

// The interrupt-time counts at the last sleep and the last wake (CallNtPowerInformation's
// LastSleepTime and LastWakeTime).
struct SuspendTimes {
    std::uint64_t lastSleep = 0;
    std::uint64_t lastWake = 0;
};

// Both counts, or nothing when either cannot be had. Asked only when the kernel has been
// suspended since it started.
using SuspendTimesReader = std::function<std::optional<SuspendTimes>()>;

// shellCreated is the shell's creation time as a FILETIME (UTC, 100 ns units).
StartMeasurement MeasureStart(std::uint64_t shellCreated, const StartClocks& clocks,
                              const SuspendTimesReader& suspendTimes);

// The duration label's text: the seconds, or "--" when not measured.
std::wstring StartCaption(const StartMeasurement& measurement, std::wstring_view decimalSeparator);

}  // namespace vossel
