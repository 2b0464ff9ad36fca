#include "startup/watch_plan.h"

namespace vossel {

std::optional<WatchPlan> PlanWatch(const StartMeasurement& measurement, std::uint64_t nowUtc) {
    if (measurement.kind == StartKind::NotMeasured || measurement.logon != LogonKind::First ||
        measurement.shellCreatedUtc == 0 || measurement.startUtc == 0) {
        return std::nullopt;
    }
    WatchPlan plan;
    plan.start = {measurement.startUtc, measurement.startPlace};
    plan.shellCreatedUtc = measurement.shellCreatedUtc;
    // A sign-in after the shell's creation is not this shell's: the shell bounds it.
    plan.windowStartUtc =
        measurement.signedInUtc != 0 && measurement.signedInUtc <= measurement.shellCreatedUtc
            ? measurement.signedInUtc
            : measurement.shellCreatedUtc;
    plan.windowEndUtc = plan.windowStartUtc + kWatchWindow;
    if (nowUtc >= plan.windowEndUtc) return std::nullopt;
    return plan;
}

}  // namespace vossel
