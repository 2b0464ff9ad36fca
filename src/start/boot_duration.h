#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace vossel {

inline constexpr std::string_view ShellProcessName = "explorer.exe";

// Whether the name holds ShellProcessName anywhere, in any case: file names are not case-sensitive.
bool HoldsShellName(std::string_view exeName);

// Fed the snapshot entries in order; the last name that HoldsShellName wins, so the walk never
// stops early. With a session test, a match counts only when the test passes: another user's shell
// is not this user's.
class ShellProcessMatcher {
  public:
    using SessionTest = std::function<bool(std::uint32_t processId)>;

    ShellProcessMatcher() = default;
    explicit ShellProcessMatcher(SessionTest inCurrentSession)
        : inCurrentSession_(std::move(inCurrentSession)) {}

    void Examine(std::uint32_t processId, std::string_view exeName);
    std::uint32_t ProcessId() const { return processId; }  // 0 = none

  private:
    SessionTest inCurrentSession_;
    std::uint32_t processId = 0;
};

// Whole seconds, then the separator and one to three digits with trailing zeros dropped;
// no digit grouping. Formed from the integer milliseconds, so no rounding happens on the way.
std::wstring DurationText(std::int64_t milliseconds, std::wstring_view decimalSeparator);

}  // namespace vossel
