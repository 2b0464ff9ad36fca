#include "start/boot_duration.h"
#include "platform/number_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace vossel {
namespace {

TEST(DurationText, FormsSecondsExactlyFromMilliseconds) {
    const std::vector<std::tuple<std::int64_t, const wchar_t*, std::wstring>> cases = {
        {0, L".", L"0"},
        {30'000, L".", L"30"},
        {30'500, L".", L"30.5"},
        {5, L".", L"0.005"},
        {10, L".", L"0.01"},
        {100, L".", L"0.1"},
        {1'001, L".", L"1.001"},
        {1'010, L".", L"1.01"},
        {-250, L".", L"-0.25"},
        {-5, L".", L"-0.005"},
        {-1'000, L".", L"-1"},
        {-61'999, L".", L"-61.999"},
        {-250, L",", L"-0,25"},
        {30'000, L",", L"30"},
        {1'500, L" . ", L"1 . 5"},
        // No digit grouping however large, and no rounding of the last digit.
        {1'234'567'891, L".", L"1234567.891"},
        {9'007'199'254'740'993, L".", L"9007199254740.993"},
        {INT64_MIN, L".", L"-9223372036854775.808"},
    };
    for (const auto& [milliseconds, separator, expected] : cases) {
        EXPECT_EQ(DurationText(milliseconds, separator), expected) << milliseconds;
    }
}

TEST(NumberText, PadsAfterTheSignAndWritesCodesInUpperCaseHex) {
    EXPECT_EQ(platform::NumberText(7, 3), L"007");
    EXPECT_EQ(platform::NumberText(-7, 3), L"-007");
    EXPECT_EQ(platform::NumberText(12345, 3), L"12345");
    EXPECT_EQ(platform::NumberText(INT64_MIN), L"-9223372036854775808");
    EXPECT_EQ(platform::NumberText(UINT64_MAX), L"18446744073709551615");
    EXPECT_EQ(platform::HexCode(0x8007'00A4), L"0x800700A4");
    EXPECT_EQ(platform::HexCode(5), L"0x00000005");
}

TEST(ShellProcessMatcher, TakesTheLastEntryWhoseNameContainsTheShellName) {
    using Snapshot = std::vector<std::pair<std::uint32_t, std::string>>;
    const std::vector<std::tuple<const char*, Snapshot, std::uint32_t>> cases = {
        {"no entries", {}, 0},
        {"no match", {{4, "System"}, {300, "winlogon.exe"}, {512, "explorer"}}, 0},
        {"one match", {{4, "System"}, {1200, "explorer.exe"}, {1300, "svchost.exe"}}, 1200},
        {"several matches, the last wins",
         {{900, "explorer.exe"}, {4, "System"}, {1800, "explorer.exe"}, {77, "cmd.exe"}},
         1800},
        {"a match after other characters",
         {{1200, "explorer.exe"}, {2400, "C:\\Windows\\my-explorer.exe"}},
         2400},
        {"a match with characters after it", {{3000, "explorer.exe.bak"}}, 3000},
        {"any case matches: file names are not case-sensitive",
         {{1200, "explorer.exe"},
          {2400, "Explorer.exe"},
          {2500, "EXPLORER.EXE"},
          {2600, "Explorer"}},
         2500},
    };
    for (const auto& [name, snapshot, expected] : cases) {
        ShellProcessMatcher matcher;
        for (const auto& [processId, exeName] : snapshot) {
            matcher.Examine(processId, exeName);
        }
        EXPECT_EQ(matcher.ProcessId(), expected) << name;
    }
}

TEST(ShellProcessMatcher, WithASessionTestSkipsShellsOfOtherSessions) {
    using Snapshot = std::vector<std::pair<std::uint32_t, std::string>>;
    // Processes 1000 and up run in another user's session.
    const auto inSession = [](std::uint32_t id) { return id < 1000; };
    const std::vector<std::tuple<const char*, Snapshot, std::uint32_t>> cases = {
        {"another user's shell later in the snapshot",
         {{900, "explorer.exe"}, {1800, "explorer.exe"}},
         900},
        {"only another user's shell", {{4, "System"}, {1800, "explorer.exe"}}, 0},
        {"the last of this session's still wins",
         {{300, "explorer.exe"}, {1800, "explorer.exe"}, {700, "explorer.exe"}, {2500, "explorer.exe"}},
         700},
    };
    for (const auto& [name, snapshot, expected] : cases) {
        ShellProcessMatcher matcher(inSession);
        for (const auto& [processId, exeName] : snapshot) {
            matcher.Examine(processId, exeName);
        }
        EXPECT_EQ(matcher.ProcessId(), expected) << name;
    }
}

}  // namespace
}  // namespace vossel
