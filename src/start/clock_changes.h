#pragma once
// The changes of the system time since the start, and the stamps taken before them moved onto the
// clock as it is now. The session manager, LSA and the process table stamp each instant once, on
// the clock as it was then; the start is the clock now minus the interrupt clock.
#include <cstdint>
#include <optional>
#include <vector>

namespace vossel {

// One change as the kernel logged it; FILETIMEs (UTC).
struct ClockChange {
    std::uint64_t eventUtc = 0;  // the record's own time
    std::uint64_t oldUtc = 0;    // the clock just before the change
    std::uint64_t newUtc = 0;    // the clock just after it
    std::uint32_t reason = 0;
};

// Reason 2: set from the hardware clock, at every boot and resume; OldTime is the time before the
// sleep. That is the sleep, not a step.
inline constexpr std::uint32_t kClockFromHardware = 2;

// A step that moves stamps: neither a sleep nor an adjustment far below the stamps' own order
// tolerance (the time service's small corrections).
bool IsClockStep(const ClockChange& change);

// The stamp on the clock as it is now, with changes newest first as the log holds them. A step
// back reads some instants twice; of the places such a stamp could have, those before notBefore
// (the kernel's start) or after notAfter (the present reading) are impossible, 0 for no bound.
// Nothing where no place or more than one remains. 0 stays 0.
std::optional<std::uint64_t> OnPresentClock(std::uint64_t stamp,
                                            const std::vector<ClockChange>& newestFirst,
                                            std::uint64_t notBefore = 0,
                                            std::uint64_t notAfter = 0);

// How far the stamps of this start may lie before it on their own clocks: the steps forward
// since, summed (100 ns). For the lower bound of a log query.
std::uint64_t StepsForward(const std::vector<ClockChange>& newestFirst);

}  // namespace vossel
