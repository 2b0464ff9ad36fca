#pragma once
// Whether a run watches its start, and the window it watches: from the run's start until 90 s
// after the sign-in (after the shell's creation where the sign-in is not known).
#include <cstdint>
#include <optional>

#include "start/start_identity.h"
#include "start/start_measurement.h"

namespace vossel {

inline constexpr std::uint64_t kWatchWindow = 90 * 10'000'000ULL;  // 100 ns units

struct WatchPlan {
    StartIdentity start;
    std::uint64_t windowStartUtc = 0;  // the sign-in, or the shell's creation; FILETIMEs
    std::uint64_t windowEndUtc = 0;
    std::uint64_t shellCreatedUtc = 0;
};

// Only a measured first log-on watches, and only while its window is still open at nowUtc: a run
// started by hand later finds it closed. Nothing for a later log-on, a remote session, a start
// not measured or a shell of unknown creation.
std::optional<WatchPlan> PlanWatch(const StartMeasurement& measurement, std::uint64_t nowUtc);

}  // namespace vossel
