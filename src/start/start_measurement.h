#pragma once
// Which start the user experienced, and how long it took up to the shell's creation: the kernel's
// start after a full boot, its last wake after a Fast Startup power-on, a hibernation or a sleep.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "start/clock_changes.h"

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

// Whether this log-on is the first interactive one of its start: only that one saw the start.
enum class LogonKind { First, Later, Remote };

struct StartMeasurement {
    StartKind kind = StartKind::NotMeasured;
    // The number shown: the start's own work up to the shell's creation, without the wait at the
    // sign-in screen where that is known.
    std::int64_t durationMs = 0;
    std::wstring_view reason;  // why not, when not measured
    // The instants of the same clock reading, as FILETIMEs (UTC); 0 when unknown. The start is
    // the kernel's start or the last wake.
    std::uint64_t startUtc = 0;
    std::uint64_t shellCreatedUtc = 0;
    std::uint64_t measuredUtc = 0;  // the system clock's reading the span was measured at
    // The start's place on the interrupt clock (100 ns): 0 for the kernel's start, the wake's
    // reading for a resume. The time service moves startUtc; nothing moves this.
    std::uint64_t startPlace = 0;

    // The phases of a first log-on, in ms; each nothing when unknown. The start to the sign-in
    // screen, the wait there, and the sign-in to the shell.
    LogonKind logon = LogonKind::First;
    std::wstring_view logonEvidence{};  // what told a later log-on apart
    std::optional<std::int64_t> windowsStartMs{};
    std::optional<std::int64_t> signInWaitMs{};
    std::optional<std::int64_t> signingInMs{};
    // Empty when the wait is left out of durationMs; else why it is in.
    std::wstring_view waitIncluded{};
    std::uint64_t signInScreenUtc = 0;  // the session's ConnectTime; 0 when unknown
    std::uint64_t signedInUtc = 0;      // its LogonTime; 0 when unknown
    // A later log-on: the number its start's first log-on recorded, when that record was found.
    std::optional<std::int64_t> firstLogonMs{};
    // The System log's changes of the system time were read, and every stamp placed with them.
    bool placedOnClock = false;

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
inline constexpr std::wstring_view kShellBeforeStart = L"shell before start";
inline constexpr std::wstring_view kShellRestarted = L"shell restarted";
inline constexpr std::wstring_view kLaterLogon = L"later log-on";
inline constexpr std::wstring_view kRemoteSession = L"remote session";
inline constexpr std::wstring_view kNoPaint = L"no paint";

// The interrupt-time counts at the last sleep and the last wake (CallNtPowerInformation's
// LastSleepTime and LastWakeTime).
struct SuspendTimes {
    std::uint64_t lastSleep = 0;
    std::uint64_t lastWake = 0;
};

// Both counts, or nothing when either cannot be had. Asked only when the kernel has been
// suspended since it started.
using SuspendTimesReader = std::function<std::optional<SuspendTimes>()>;

// Whether the interrupt clocks tell a suspension since the kernel started: only then are the
// suspend times asked.
bool SuspendedSinceStart(const StartClocks& clocks);

// shellCreated is the shell's creation time as a FILETIME (UTC, 100 ns units), on the clock as it
// was then: with the changes of the system time since (newest first), it is placed on the clock
// as it is now.
StartMeasurement MeasureStart(std::uint64_t shellCreated, const StartClocks& clocks,
                              const SuspendTimesReader& suspendTimes,
                              const std::optional<std::vector<ClockChange>>& clockChanges = {});

// The duration label's text: the seconds (a later log-on's first log-on's), or "--".
std::wstring StartCaption(const StartMeasurement& measurement, std::wstring_view decimalSeparator);

// Whether a repaint's measurement replaces the one on show: only when it tells something else (a
// kind of start or log-on, a reason, the wait in or out). Two readings of the same facts differ by
// the clocks' jitter, which must not move the number. A shell restarted after a number was shown
// leaves that number standing: it was measured from this log-on's shell.
bool ReplacesShown(const StartMeasurement& shown, const StartMeasurement& next);

}  // namespace vossel
