#include "mainwindow/boot_duration.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace vossel {
namespace {

struct BootDurationCase {
    const char* name;
    std::uint64_t tickCount;
    UtcDateTime shellCreated;
    UtcDateTime now;
    const wchar_t* separator;
    const wchar_t* expected;
};

constexpr std::uint64_t k2Pow31 = std::uint64_t{1} << 31;
constexpr std::uint64_t k2Pow32 = std::uint64_t{1} << 32;

// clang-format off
const BootDurationCase kBootDurationCases[] = {
    // name                          tick count               shell created (UTC)             now (UTC)                    sep   caption
    {"worked example",               95'250,                  {2024, 3, 10, 8, 15, 2, 500},   {2024, 3, 10, 8, 16, 10, 0}, L".", L"27.75"},
    {"comma separator",              95'250,                  {2024, 3, 10, 8, 15, 2, 500},   {2024, 3, 10, 8, 16, 10, 0}, L",", L"27,75"},
    {"seconds far apart",            40'000,                  {2024, 3, 10, 10, 0, 59, 0},    {2024, 3, 10, 10, 1, 5, 0},  L".", L"34"},
    {"utc midnight in between",      60'000,                  {2024, 3, 10, 23, 59, 50, 0},   {2024, 3, 11, 0, 0, 10, 0},  L".", L"40"},
    {"shell created days ago",       3 * 86'400'000 + 12'345, {2024, 3, 8, 6, 0, 0, 0},       {2024, 3, 11, 6, 0, 0, 0},   L".", L"12.345"},
    {"month end",                    1'000,                   {2024, 1, 31, 23, 59, 59, 900}, {2024, 2, 1, 0, 0, 0, 100},  L".", L"0.8"},
    {"year end",                     10'000,                  {2023, 12, 31, 23, 59, 58, 0},  {2024, 1, 1, 0, 0, 3, 0},    L".", L"5"},
    {"leap day in between",          93'600'000 + 42'000,     {2024, 2, 28, 23, 0, 0, 0},     {2024, 3, 1, 1, 0, 0, 0},    L".", L"42"},
    {"no leap day in a common year", 7'200'000 + 42'000,      {2023, 2, 28, 23, 0, 0, 0},     {2023, 3, 1, 1, 0, 0, 0},    L".", L"42"},
    {"no leap day in 2100",          7'200'000 + 42'000,      {2100, 2, 28, 23, 0, 0, 0},     {2100, 3, 1, 1, 0, 0, 0},    L".", L"42"},
    {"shell younger than the boot",  1'000,                   {2024, 3, 10, 10, 0, 0, 0},     {2024, 3, 10, 10, 0, 1, 250}, L".", L"-0.25"},
    {"tick count beyond 2^31",       k2Pow31 + 5'000,         {2024, 3, 10, 10, 0, 0, 0},     {2024, 3, 10, 10, 0, 5, 0},  L".", L"2147483.648"},
    {"tick count beyond 2^32",       k2Pow32 + 1'234,         {2024, 3, 10, 10, 0, 0, 0},     {2024, 3, 10, 10, 0, 0, 0},  L".", L"4294968.53"},
    {"60 days up, shell long ago",   60ull * 86'400'000 + 500, {2024, 1, 1, 0, 0, 27, 0},      {2024, 3, 1, 0, 0, 27, 0},   L".", L"0.5"},
};
// clang-format on

TEST(BootDurationText, TurnsClockReadingsIntoTheCaption) {
    for (const BootDurationCase& c : kBootDurationCases) {
        EXPECT_EQ(BootDurationText(c.tickCount, c.now, c.shellCreated, c.separator), c.expected)
            << c.name;
    }
}

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

TEST(UtcMilliseconds, CountsFromTheUnixEpochOverFullDates) {
    const std::vector<std::pair<UtcDateTime, std::int64_t>> cases = {
        {{1970, 1, 1, 0, 0, 0, 0}, 0},
        {{1970, 1, 1, 23, 59, 59, 999}, 86'399'999},
        {{1969, 12, 31, 23, 59, 59, 999}, -1},
        {{2000, 3, 1, 0, 0, 0, 0}, 951'868'800'000},
        {{2024, 2, 29, 12, 0, 0, 0}, 1'709'208'000'000},
        {{2038, 1, 19, 3, 14, 8, 0}, 2'147'483'648'000},
        // The FILETIME epoch, which a zeroed creation time converts to.
        {{1601, 1, 1, 0, 0, 0, 0}, -11'644'473'600'000},
        {{30827, 12, 31, 23, 59, 59, 999}, 910'670'515'199'999},
    };
    for (const auto& [time, expected] : cases) {
        EXPECT_EQ(UtcMilliseconds(time), expected)
            << time.year << '-' << time.month << '-' << time.day;
    }
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
        {"a case difference does not match",
         {{1200, "explorer.exe"}, {2400, "Explorer.exe"}, {2500, "EXPLORER.EXE"}},
         1200},
    };
    for (const auto& [name, snapshot, expected] : cases) {
        ShellProcessMatcher matcher;
        for (const auto& [processId, exeName] : snapshot) {
            matcher.Examine(processId, exeName);
        }
        EXPECT_EQ(matcher.ProcessId(), expected) << name;
    }
}

}  // namespace
}  // namespace vossel
