#include "mainwindow/start_record.h"

#include <gtest/gtest.h>

#include <vector>

namespace vossel {
namespace {

constexpr std::uint64_t kMs = 10'000;  // 100 ns units
constexpr std::uint64_t kSecond = 1000 * kMs;
constexpr std::uint64_t kHour = 3600 * kSecond;
// 2024-03-11T00:36:10.000Z as a FILETIME.
constexpr std::uint64_t kNow = 133'545'909'700'000'000;
// 2024-02-29T23:59:59.999Z and 99.99 % of a millisecond more; 2025-01-01T00:00:00.000Z.
constexpr std::uint64_t kLeapDayEnd = 133'537'247'999'999'999;
constexpr std::uint64_t kNewYear = 133'801'632'000'000'000;

StartMeasurement FromClocks(std::uint64_t interrupt, std::uint64_t unbiased,
                            std::uint64_t shellAge, std::optional<std::uint64_t> wake) {
    StartClocks clocks;
    clocks.systemTime = kNow;
    clocks.interruptTime = interrupt;
    clocks.unbiasedInterruptTime = unbiased;
    // A wake comes after its sleep: any sleep before the wake will do here.
    return MeasureStart(kNow - shellAge, clocks, [wake]() -> std::optional<SuspendTimes> {
        if (!wake) return std::nullopt;
        return SuspendTimes{0, *wake};
    });
}

struct RecordCase {
    const char* name;
    StartMeasurement measurement;
    std::uint32_t eventId;
    std::vector<std::wstring> strings;
};

// clang-format off
const RecordCase kRecordCases[] = {
    // The instants come from the reading that gave the duration: start + duration = shell.
    {"full boot, from the clocks", FromClocks(120 * kSecond + 2'751'234, 120 * kSecond + 2'751'234, 80 * kSecond, std::nullopt), 1001,
     {L"1", L"40275", L"full boot", L"", L"2024-03-11T00:34:09.724Z", L"2024-03-11T00:34:50.000Z", L"1.0.0.0", L"x86"}},
    {"resume, from the clocks", FromClocks(9 * kHour + 300 * kSecond, kHour + 300 * kSecond, 120 * kSecond, 9 * kHour + 84'500 * kMs), 1002,
     {L"1", L"95500", L"resume", L"", L"2024-03-11T00:32:34.500Z", L"2024-03-11T00:34:10.000Z", L"1.0.0.0", L"x86"}},
    {"not measured, the shell known", StartMeasurement{.reason = kNoWakeTime, .shellCreatedUtc = kNow}, 1010,
     {L"1", L"", L"not measured", L"no wake time", L"", L"2024-03-11T00:36:10.000Z", L"1.0.0.0", L"x86"}},
    {"negative, a leap day, a new year", StartMeasurement{StartKind::FullBoot, -250, {}, kLeapDayEnd, kNewYear}, 1001,
     {L"1", L"-250", L"full boot", L"", L"2024-02-29T23:59:59.999Z", L"2025-01-01T00:00:00.000Z", L"1.0.0.0", L"x86"}},
    {"the first millisecond of FILETIME", StartMeasurement{StartKind::Resume, 0, {}, kMs, kMs + 9'999}, 1002,
     {L"1", L"0", L"resume", L"", L"1601-01-01T00:00:00.001Z", L"1601-01-01T00:00:00.001Z", L"1.0.0.0", L"x86"}},
};
// clang-format on

TEST(ComposeStartRecord, WritesTheIdAndTheStringsInTheirOrder) {
    for (const RecordCase& c : kRecordCases) {
        const StartRecord record = ComposeStartRecord(c.measurement, L"1.0.0.0", L"x86");
        EXPECT_EQ(record.eventId, c.eventId) << c.name;
        EXPECT_EQ(record.strings, c.strings) << c.name;
    }
}

}  // namespace
}  // namespace vossel
