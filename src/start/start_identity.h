#pragma once
// One start, recognised across the log-ons that each wrote a record of it. The UTC instant of a
// start is the system clock minus the interrupt clock, and the time service adjusts the first and
// never the second, so two log-ons of one start see instants a little apart. The start's place on
// the interrupt clock does not move: 0 for every kernel start, the wake's reading for a resume.
#include <cstdint>

namespace vossel {

struct StartIdentity {
    std::uint64_t startUtc = 0;    // a FILETIME; 0 when unknown
    std::uint64_t startPlace = 0;  // 100 ns on the interrupt clock
};

// 20 s. The time service corrects a running PC's clock by the drift since its last sync, seconds
// on a PC whose real-time clock Windows itself set at the last shutdown. The shortest way from one
// kernel start to the next (a desktop reached, a restart at once, shutdown, firmware) takes well
// over 20 s, and a resume is told apart by its place, so two starts never fall within it.
inline constexpr std::uint64_t kSameStartTolerance = 20 * 10'000'000ULL;

// Both known, the same place, and instants within the tolerance.
constexpr bool SameStart(const StartIdentity& a, const StartIdentity& b) {
    if (a.startUtc == 0 || b.startUtc == 0 || a.startPlace != b.startPlace) return false;
    const std::uint64_t apart = a.startUtc > b.startUtc ? a.startUtc - b.startUtc
                                                        : b.startUtc - a.startUtc;
    return apart <= kSameStartTolerance;
}

}  // namespace vossel
