#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vossel {

inline constexpr std::string_view ShellProcessName = "explorer.exe";

// The fields of a SYSTEMTIME in UTC (the day of the week plays no part).
struct UtcDateTime {
    int year, month, day, hour, minute, second, milliseconds;
};

// Fed the snapshot entries in order; the last name that contains ShellProcessName
// (case-sensitive, anywhere in the name) wins, so the walk never stops early.
class ShellProcessMatcher {
  public:
    void Examine(std::uint32_t processId, std::string_view exeName);
    std::uint32_t ProcessId() const { return processId; }  // 0 = none

  private:
    std::uint32_t processId = 0;
};

// Milliseconds since 1970-01-01 00:00:00.000 UTC in the proleptic Gregorian calendar.
std::int64_t UtcMilliseconds(const UtcDateTime& time);

// The milliseconds from system start to the shell's creation: tickCount - (now - shellCreated),
// over full dates, so a UTC midnight in between costs nothing.
std::int64_t BootDurationMs(std::uint64_t tickCount, const UtcDateTime& now,
                            const UtcDateTime& shellCreated);

// Whole seconds, then the separator and one to three digits with trailing zeros dropped;
// no digit grouping. Formed from the integer milliseconds, so no rounding happens on the way.
std::wstring DurationText(std::int64_t milliseconds, std::wstring_view decimalSeparator);

std::wstring BootDurationText(std::uint64_t tickCount, const UtcDateTime& now,
                              const UtcDateTime& shellCreated, std::wstring_view decimalSeparator);

}  // namespace vossel
