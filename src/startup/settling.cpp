#include "startup/settling.h"

namespace vossel {

void SettleClock::Add(std::uint64_t sampleUtc, std::int64_t wallMs, std::uint64_t idle100ns,
                      std::uint64_t total100ns) {
    // Samples before the shell are not its desktop's.
    if (settledMs_ || wallMs <= 0 || sampleUtc < shellCreatedUtc_) return;
    // At least 80 % idle, in integers: idle / total >= 4 / 5.
    if (total100ns == 0 || idle100ns > total100ns || idle100ns * 5 < total100ns * 4) return;
    idleMs_ += wallMs;
    if (idleMs_ >= kSettledIdleMs) {
        settledMs_ = static_cast<std::int64_t>((sampleUtc - shellCreatedUtc_) / 10'000);
    }
}

}  // namespace vossel
