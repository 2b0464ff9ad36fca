#pragma once
// When the desktop settled: the moment after the shell's creation by which 10 s of idle samples
// have accumulated, a sample being idle when the processors were at least 80 % idle over it. The
// rule is modelled on the post-boot phase of Windows' own boot analysis; it is not part of the
// number. Only the processors are looked at: a user may not read the disk's idle time.
#include <cstdint>
#include <optional>

namespace vossel {

inline constexpr std::int64_t kSettleSampleMs = 100;
inline constexpr std::int64_t kSettledIdleMs = 10'000;

class SettleClock {
  public:
    explicit SettleClock(std::uint64_t shellCreatedUtc) : shellCreatedUtc_(shellCreatedUtc) {}

    // One sample, ending at sampleUtc (a FILETIME) and lasting wallMs: the system's idle time and
    // its total (kernel + user, the kernel's including the idle), in 100 ns over all processors.
    // A sample of no total time says nothing and is not idle.
    void Add(std::uint64_t sampleUtc, std::int64_t wallMs, std::uint64_t idle100ns,
             std::uint64_t total100ns);

    // Milliseconds after the shell's creation; nothing while not settled.
    std::optional<std::int64_t> SettledMs() const { return settledMs_; }

  private:
    std::uint64_t shellCreatedUtc_;
    std::int64_t idleMs_ = 0;
    std::optional<std::int64_t> settledMs_;
};

}  // namespace vossel
