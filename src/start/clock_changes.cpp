#include "start/clock_changes.h"

namespace vossel {
namespace {

// Half a second: the instants are compared with 2 s tolerances, so smaller changes cannot turn an
// order around, and the time service's own corrections are smaller.
constexpr std::int64_t kTinyChange = 5'000'000;

std::int64_t Delta(const ClockChange& change) {
    return static_cast<std::int64_t>(change.newUtc) - static_cast<std::int64_t>(change.oldUtc);
}

}  // namespace

bool IsClockStep(const ClockChange& change) {
    if (change.reason == kClockFromHardware || change.oldUtc == 0 || change.newUtc == 0)
        return false;
    const std::int64_t delta = Delta(change);
    return delta >= kTinyChange || delta <= -kTinyChange;
}

std::optional<std::uint64_t> OnPresentClock(std::uint64_t stamp,
                                            const std::vector<ClockChange>& newestFirst,
                                            std::uint64_t notBefore, std::uint64_t notAfter) {
    if (stamp == 0) return stamp;
    std::optional<std::int64_t> found;
    bool ambiguous = false;
    const auto candidate = [&](std::int64_t placed) {
        if ((notAfter != 0 && placed > static_cast<std::int64_t>(notAfter)) ||
            placed < static_cast<std::int64_t>(notBefore)) {
            return;
        }
        ambiguous = ambiguous || found.has_value();
        found = placed;
    };
    std::int64_t moved = 0;  // the changes newer than the one looked at, summed
    bool beforeAll = true;
    for (const ClockChange& change : newestFirst) {
        if (!IsClockStep(change)) continue;
        // On the clock after this change, the stamp may have come after it; on the clock before,
        // before it. A step back leaves instants that read both ways.
        if (stamp >= change.newUtc) candidate(static_cast<std::int64_t>(stamp) + moved);
        if (stamp > change.oldUtc && stamp >= change.newUtc) {
            beforeAll = false;
            break;
        }
        moved += Delta(change);
    }
    if (beforeAll) candidate(static_cast<std::int64_t>(stamp) + moved);
    if (!found || ambiguous || *found <= 0) return std::nullopt;
    return static_cast<std::uint64_t>(*found);
}

std::uint64_t StepsForward(const std::vector<ClockChange>& newestFirst) {
    std::uint64_t forward = 0;
    for (const ClockChange& change : newestFirst) {
        if (IsClockStep(change) && Delta(change) > 0)
            forward += static_cast<std::uint64_t>(Delta(change));
    }
    return forward;
}

}  // namespace vossel
