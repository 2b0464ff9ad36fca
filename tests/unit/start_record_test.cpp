#include "start/start_record.h"

#include <gtest/gtest.h>

#include <vector>

#include "start/sign_in.h"
#include "start/start_record_format.h"

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

StartMeasurement FirstLogOn(StartMeasurement measurement, std::int64_t windowsStart,
                            std::int64_t wait, std::int64_t signingIn) {
    measurement.windowsStartMs = windowsStart;
    measurement.signInWaitMs = wait;
    measurement.signingInMs = signingIn;
    measurement.signInScreenUtc = measurement.startUtc + windowsStart * kMs;
    measurement.signedInUtc = measurement.signInScreenUtc + wait * kMs;
    measurement.durationMs = windowsStart + signingIn;
    return measurement;
}

StartMeasurement Later(StartMeasurement measurement) {
    measurement.kind = StartKind::NotMeasured;
    measurement.reason = kLaterLogon;
    measurement.logon = LogonKind::Later;
    measurement.signedInUtc = kNow - kHour;
    return measurement;
}

StartMeasurement Included(StartMeasurement measurement, std::wstring_view why) {
    measurement.waitIncluded = why;
    return measurement;
}

struct RecordCase {
    const char* name;
    StartMeasurement measurement;
    std::uint32_t eventId;
    std::vector<std::wstring> strings;
    // From the log-on kind on.
    std::vector<std::wstring> appended;
};

// clang-format off
const RecordCase kRecordCases[] = {
    // The instants come from the reading that gave the duration: start + duration = shell.
    {"full boot, from the clocks", FromClocks(120 * kSecond + 2'751'234, 120 * kSecond + 2'751'234, 80 * kSecond, std::nullopt), 1001,
     {L"2", L"40275", L"full boot", L"", L"2024-03-11T00:34:09.724Z", L"2024-03-11T00:34:50.000Z", L"1.0.0.0", L"x86"},
     {L"first log-on", L"", L"", L"", L"included", L"", L"", L"", L"0"}},
    {"resume, from the clocks", FromClocks(9 * kHour + 300 * kSecond, kHour + 300 * kSecond, 120 * kSecond, 9 * kHour + 84'500 * kMs), 1002,
     {L"2", L"95500", L"resume", L"", L"2024-03-11T00:32:34.500Z", L"2024-03-11T00:34:10.000Z", L"1.0.0.0", L"x86"},
     {L"first log-on", L"", L"", L"", L"included", L"", L"", L"", L"324845000000"}},
    {"not measured, the shell known", StartMeasurement{.reason = kNoWakeTime, .shellCreatedUtc = kNow}, 1010,
     {L"2", L"", L"not measured", L"no wake time", L"", L"2024-03-11T00:36:10.000Z", L"1.0.0.0", L"x86"},
     {L"first log-on", L"", L"", L"", L"", L"", L"", L"", L""}},
    {"negative, a leap day, a new year", StartMeasurement{StartKind::FullBoot, -250, {}, kLeapDayEnd, kNewYear}, 1001,
     {L"2", L"-250", L"full boot", L"", L"2024-02-29T23:59:59.999Z", L"2025-01-01T00:00:00.000Z", L"1.0.0.0", L"x86"},
     {L"first log-on", L"", L"", L"", L"included", L"", L"", L"", L"0"}},
    {"the first millisecond of FILETIME", StartMeasurement{StartKind::Resume, 0, {}, kMs, kMs + 9'999}, 1002,
     {L"2", L"0", L"resume", L"", L"1601-01-01T00:00:00.001Z", L"1601-01-01T00:00:00.001Z", L"1.0.0.0", L"x86"},
     {L"first log-on", L"", L"", L"", L"included", L"", L"", L"", L"0"}},
    // The wait at the sign-in screen left out: the number is the two other phases.
    {"the wait left out", FirstLogOn(FromClocks(120 * kSecond, 120 * kSecond, 30 * kSecond, std::nullopt), 20'000, 45'000, 25'000), 1001,
     {L"2", L"45000", L"full boot", L"", L"2024-03-11T00:34:10.000Z", L"2024-03-11T00:35:40.000Z", L"1.0.0.0", L"x86"},
     {L"first log-on", L"20000", L"45000", L"25000", L"excluded", L"", L"2024-03-11T00:34:30.000Z", L"2024-03-11T00:35:15.000Z", L"0"}},
    {"the wait in, and why", Included(FirstLogOn(FromClocks(120 * kSecond, 120 * kSecond, 30 * kSecond, std::nullopt), 20'000, 45'000, 25'000), kAutomaticSignIn), 1001,
     {L"2", L"45000", L"full boot", L"", L"2024-03-11T00:34:10.000Z", L"2024-03-11T00:35:40.000Z", L"1.0.0.0", L"x86"},
     {L"first log-on", L"20000", L"45000", L"25000", L"included", L"automatic sign-in", L"2024-03-11T00:34:30.000Z", L"2024-03-11T00:35:15.000Z", L"0"}},
    // A later log-on names its start and measures nothing of its own.
    {"a later log-on", Later(FromClocks(9 * kHour + 300 * kSecond, kHour + 300 * kSecond, 120 * kSecond, 9 * kHour + 84'500 * kMs)), 1010,
     {L"2", L"", L"not measured", L"later log-on", L"2024-03-11T00:32:34.500Z", L"2024-03-11T00:34:10.000Z", L"1.0.0.0", L"x86"},
     {L"later log-on", L"", L"", L"", L"", L"", L"", L"2024-03-10T23:36:10.000Z", L"324845000000"}},
    // A run that ended before any paint still says why.
    {"no paint", StartMeasurement::NotMeasured(kNoPaint), 1010,
     {L"2", L"", L"not measured", L"no paint", L"", L"", L"1.0.0.0", L"x86"},
     {L"first log-on", L"", L"", L"", L"", L"", L"", L"", L""}},
};
// clang-format on

TEST(ComposeStartRecord, WritesTheIdAndTheStringsInTheirOrderAndReadsThemBack) {
    for (const RecordCase& c : kRecordCases) {
        const StartRecord record = ComposeStartRecord(c.measurement, L"1.0.0.0", L"x86");
        EXPECT_EQ(record.eventId, c.eventId) << c.name;
        std::vector<std::wstring> expected = c.strings;
        expected.insert(expected.end(), c.appended.begin(), c.appended.end());
        EXPECT_EQ(record.strings, expected) << c.name;

        // What the writer composes, the reader takes back as it was meant.
        const auto read = ParseStartRecord(record.eventId, 7, record.strings);
        ASSERT_TRUE(read) << c.name;
        EXPECT_EQ(read->kind, c.measurement.kind) << c.name;
        EXPECT_EQ(read->durationMs, c.measurement.kind == StartKind::NotMeasured ? 0 : c.measurement.durationMs) << c.name;
        EXPECT_EQ(read->logon, c.measurement.logon) << c.name;
        EXPECT_EQ(read->signInWaitMs, c.measurement.signInWaitMs) << c.name;
        EXPECT_EQ(read->waitIncluded, !c.measurement.waitIncluded.empty() || !c.measurement.signInWaitMs) << c.name;
        EXPECT_EQ(read->startPlace, c.measurement.startPlace) << c.name;
        EXPECT_EQ(read->signedInUtc / kMs, c.measurement.signedInUtc / kMs) << c.name;
    }
}

TEST(ParseStartRecord, TakesOnlyValuesOfTheirForm) {
    EXPECT_EQ(ParseUtcInstant(L"2024-03-11T00:36:10.000Z"), kNow);
    EXPECT_EQ(ParseUtcInstant(L"1601-01-01T00:00:00.000Z"), 0u);
    EXPECT_TRUE(ParseUtcInstant(L"2028-02-29T00:00:00.000Z"));
    for (const wchar_t* bad : {L"2026-02-29T00:00:00.000Z", L"2026-12-08T24:00:00.000Z",
                               L"2026-12-08 07:59:12.345Z", L"2026-12-08T07:59:12.345"}) {
        EXPECT_FALSE(ParseUtcInstant(bad)) << bad;
    }
    const StartRecord good = ComposeStartRecord(kRecordCases[5].measurement, L"1.0.0.0", L"x64");
    ASSERT_TRUE(ParseStartRecord(good.eventId, 7, good.strings));
    using Field = StartRecordField;
    struct Bad {
        const char* name;
        std::size_t field;
        const wchar_t* value;
    };
    const Bad bad[] = {
        {"unknown log-on kind", Field::kLogonKind, L"second log-on"},
        {"a later log-on with a number", Field::kLogonKind, L"later log-on"},
        {"the wait neither in nor out", Field::kWait, L"maybe"},
        {"a phase not in ms", Field::kSigningInMs, L"25.0"},
        {"the wait out without its phases", Field::kWindowsStartMs, L""},
        {"a place not a number", Field::kStartPlace, L"0x10"},
        {"no place for a known start", Field::kStartPlace, L""},
        {"an instant not of its form", Field::kSignedInUtc, L"yesterday"},
        {"an unknown format", Field::kFormat, L"3"},
    };
    for (const Bad& b : bad) {
        std::vector<std::wstring> values = good.strings;
        values[b.field] = b.value;
        EXPECT_FALSE(ParseStartRecord(good.eventId, 7, values)) << b.name;
    }
    // Format 2 needs all of its strings; format 1 reads as a first log-on of unknown phases.
    EXPECT_FALSE(ParseStartRecord(good.eventId, 7, {good.strings.begin(), good.strings.begin() + 16}));
    std::vector<std::wstring> format1(good.strings.begin(), good.strings.begin() + 8);
    format1[Field::kFormat] = L"1";
    const auto old = ParseStartRecord(good.eventId, 7, format1);
    ASSERT_TRUE(old);
    EXPECT_EQ(old->logon, LogonKind::First);
    EXPECT_TRUE(old->waitIncluded);
    EXPECT_EQ(old->durationMs, 45'000);
}

}  // namespace
}  // namespace vossel
