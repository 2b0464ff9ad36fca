#include "start/start_record.h"

#include <gtest/gtest.h>

#include <vector>

#include "start/sign_in.h"
#include "start/start_record_format.h"
#include "start/startup_record.h"

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

TEST(RateStartupImpact, TakesTheHigherOfCpuAndIoAtTheBoundaries) {
    constexpr std::uint64_t kKB = 1024;
    struct Case {
        std::int64_t cpuMs;
        std::uint64_t ioBytes;
        StartupImpact impact;
    };
    // clang-format off
    const Case cases[] = {
        {0, 0, StartupImpact::Low}, {299, 300 * kKB - 1, StartupImpact::Low},
        {300, 0, StartupImpact::Medium}, {0, 300 * kKB, StartupImpact::Medium},
        {1000, 3 * kKB * kKB, StartupImpact::Medium}, {10, 3'000'001, StartupImpact::Medium},
        {1001, 0, StartupImpact::High}, {0, 3 * kKB * kKB + 1, StartupImpact::High},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(RateStartupImpact(c.cpuMs, c.ioBytes), c.impact) << c.cpuMs << " " << c.ioBytes;
    }
}

TEST(ComposeStartupRecord, KeepsTheSlowest25InOrderAndReadsThemBack) {
    StartupReport report{{kNow, 0}, 12'345, 4'000, false, {}};
    for (int i = 0; i < 30; ++i) {
        report.programs.push_back({L"entry " + std::to_wstring(i), L"p.exe", i * 50, 0, i * 100});
    }
    report.programs[3] = {L"Updater\r\nnext", L"u.exe", 10, 5ULL << 20, -2'000};  // High by its I/O
    const StartRecord record = ComposeStartupRecord(report, L"1.0.0.0", L"x64");
    using Field = StartupRecordField;
    ASSERT_EQ(record.eventId, 1020u);
    ASSERT_EQ(record.strings.size(), Field::kFirstProgram + 25 * Field::kProgramFields);
    EXPECT_EQ(std::vector<std::wstring>(record.strings.begin(), record.strings.begin() + 10),
              (std::vector<std::wstring>{L"1", L"2024-03-11T00:36:10.000Z", L"0", L"1.0.0.0",
                                         L"x64", L"12345", L"12345 ms after the shell", L"4000",
                                         L"complete", L"25"}));
    const std::wstring& listing = record.strings[Field::kListing];
    // High by CPU, most first, then High by I/O alone, then Medium.
    EXPECT_EQ(listing.substr(0, listing.find(L"\r\n")),
              L"entry 29 = High, 1450 ms CPU, 0 bytes I/O");
    EXPECT_NE(listing.find(L"entry 21 = High, 1050 ms CPU, 0 bytes I/O\r\n"
                           L"Updater  next = High, 10 ms CPU, 5242880 bytes I/O\r\n"
                           L"entry 20 = Medium, 1000 ms CPU, 0 bytes I/O\r\n"),
              std::wstring::npos);
    EXPECT_EQ(listing.substr(listing.rfind(L"\r\n") + 2),
              L"entry 6 = Medium, 300 ms CPU, 0 bytes I/O");

    const auto read = ParseStartupRecord(record.eventId, 7, record.strings);
    ASSERT_TRUE(read);
    EXPECT_TRUE(SameStart(read->report.start, report.start));
    EXPECT_EQ(read->report.settledMs, 12'345);
    ASSERT_EQ(read->report.programs.size(), 25u);
    EXPECT_EQ(read->report.programs[0].entry, L"entry 29");
    EXPECT_EQ(read->report.programs[9].startOffsetMs, -2'000);

    // Untrusted: each of these leaves the whole record out, nothing more.
    struct Bad {
        const char* name;
        std::size_t field;
        std::wstring value;
    };
    const std::size_t first = Field::kFirstProgram;
    const Bad bad[] = {
        {"an unknown format", Field::kFormat, L"2"},
        {"no start", Field::kStartUtc, L""},
        {"more programs than kept", Field::kProgramCount, L"1000"},
        {"more programs than given", Field::kProgramCount, L"24"},
        {"a count beyond 64 bits", Field::kProgramCount, L"99999999999999999999999"},
        {"neither complete nor partial", Field::kWatch, L"done"},
        {"a negative settling", Field::kSettledMs, L"-5"},
        {"a rating against its figures", first + Field::kRating, L"Low"},
        {"an unknown rating", first + Field::kRating, L"high"},
        {"CPU beyond 18 digits", first + Field::kCpuMs, L"9999999999999999999"},
        {"I/O beyond 64 bits", first + Field::kIoBytes, L"18446744073709551616"},
        {"an offset not in ms", first + Field::kStartOffsetMs, L"+5"},
        {"no entry", first + Field::kEntry, L""},
    };
    for (const Bad& b : bad) {
        std::vector<std::wstring> values = record.strings;
        if (b.value == L"24") values.resize(first + 24 * Field::kProgramFields - 1);
        values[b.field] = b.value;
        EXPECT_FALSE(ParseStartupRecord(record.eventId, 7, values)) << b.name;
    }
    EXPECT_FALSE(ParseStartupRecord(kEventFullBoot, 7, record.strings));
}

TEST(ComposeStartupRecord, CutsNamesAndStaysWithinTheStringLimit) {
    StartupReport report{{kNow, 0}, std::nullopt, 0, true, {}};
    // A surrogate pair astride the cut; the largest figures.
    std::wstring longName(kMaxStartupNameChars - 2, L'a');
    longName += L"\xD83D\xDE00tail";
    for (int i = 0; i < 25; ++i) {
        report.programs.push_back({longName + std::wstring(20'000, L'x'), longName,
                                   999'999'999'999'999'999, UINT64_MAX, -999'999'999'999'999'999});
    }
    const StartRecord record = ComposeStartupRecord(report, L"1.0.0.0", L"x86");
    for (const std::wstring& text : record.strings) EXPECT_LE(text.size(), kMaxEventStringChars);
    using Field = StartupRecordField;
    EXPECT_EQ(record.strings[Field::kSettledMs], L"");
    EXPECT_EQ(record.strings[Field::kSettled], L"not within the window");
    const std::wstring& entry = record.strings[Field::kFirstProgram + Field::kEntry];
    EXPECT_EQ(entry, std::wstring(kMaxStartupNameChars - 2, L'a') + L"\u2026");
    const auto read = ParseStartupRecord(record.eventId, 7, record.strings);
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->report.partial);
    EXPECT_FALSE(read->report.settledMs);
    EXPECT_EQ(read->report.programs[24].ioBytes, UINT64_MAX);
}

}  // namespace
}  // namespace vossel
