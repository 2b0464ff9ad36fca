#pragma once
// The clocks that tell which start the user experienced. Every time is in 100 ns units.
#include <cstdint>
#include <optional>

namespace vossel::platform {

struct ClockReading {
    std::uint64_t systemTime = 0;                        // UTC, as a FILETIME
    std::optional<std::uint64_t> interruptTime;          // QueryInterruptTime, where Windows has it
    std::uint64_t tickCountMs = 0;                       // GetTickCount64, its stand-in
    std::optional<std::uint64_t> unbiasedInterruptTime;  // nothing when it cannot be read
};

// The system time, the interrupt time and the unbiased interrupt time, read back to back.
ClockReading ReadClocks();

struct SuspendReading {
    std::uint64_t lastSleep = 0;
    std::uint64_t lastWake = 0;
};

// CallNtPowerInformation(LastSleepTime and LastWakeTime): the interrupt time at the last sleep and
// at the last wake; nothing when powrprof lacks it or either call fails (Wine answers
// STATUS_NOT_IMPLEMENTED).
std::optional<SuspendReading> ReadSuspendTimes();

}  // namespace vossel::platform
