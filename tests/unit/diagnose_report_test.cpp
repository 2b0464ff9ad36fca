#include "diagnose/diagnose_report.h"

#include <gtest/gtest.h>

namespace vossel {
namespace {

constexpr std::uint64_t kStart = 134'100'000'000'000'000;  // 2025-12-13T...Z
constexpr std::uint64_t kSecond = 10'000'000;

DiagnoseReadings EveryField() {
    DiagnoseReadings readings;
    readings.version = L"1.0.0.0";
    readings.architecture = L"x64";
    StartReadings& start = readings.start;
    start.shellProcessId = 4242;
    start.shellCreatedUtc = kStart + 30 * kSecond;
    start.selfCreatedUtc = kStart + 31 * kSecond;
    start.clocks = StartClocks{kStart + 40 * kSecond, 40 * kSecond, 40'000, 40 * kSecond};
    start.evidence.session = SessionReading{
        kStart + 20 * kSecond, kStart + 25 * kSecond, false, false, 1, L"S-1-5-21-1-2-3-1001"};
    start.evidence.lsaLogonUtc = kStart + 25 * kSecond;
    start.evidence.otherSessionLogons = std::vector<std::uint64_t>{};
    start.evidence.winlogonEvents =
        std::vector<WinlogonNotice>{{7001, kStart + 26 * kSecond, 1, L"S-1-5-21-1-2-3-1001"}};
    start.evidence.clockChanges = std::vector<ClockChange>{};
    start.evidence.firstLogonRecords = std::vector<RecordedLogon>{};
    start.ownSessionId = 1;
    start.glassSessionId = 1;
    start.autoAdminLogon = std::vector<std::wstring>{L"0"};
    start.legalNotice = {std::vector<std::wstring>{},
                         std::vector<std::wstring>{L"Authorised", L"use"}, std::nullopt,
                         std::nullopt};
    readings.decision = DecideStart(start);
    return readings;
}

TEST(DiagnoseReport, ShowsWhatWasReadAndDecided) {
    const std::optional<int> plusEight = 480;
    const std::wstring report =
        ComposeDiagnoseReport(EveryField(), [&](std::uint64_t) { return plusEight; });
    for (const wchar_t* expected :
         {L"architecture: x64", L"interrupt time: 400000000 (100 ns), 40.000 s",
          L"this session's log-on time: ", L"local (UTC+08:00)", L"GlassSessionId: 1",
          L"policy LegalNoticeCaption: empty multi-string",
          L"policy LegalNoticeText: \"Authorised\" | \"use\"", L"TSId 1, UserSid S-1-5-21",
          L"Windows start: 20000 ms", L"signing in: 5000 ms", L"the wait: excluded", L"caption: 25",
          L"none: every source answered"}) {
        EXPECT_NE(report.find(expected), std::wstring::npos) << expected;
    }
}

TEST(DiagnoseReport, NamesWhatCouldNotBeRead) {
    DiagnoseReadings readings;
    readings.decision = StartMeasurement::NotMeasured(kNoShell);
    readings.failures = {{L"System log: Winlogon 7001/7002", 5, L"Access is denied."},
                         {L"session manager", 0, L"no reason given"}};
    const std::optional<int> west = -150;  // Newfoundland's half hour
    readings.start.selfCreatedUtc = kStart;
    const std::wstring report =
        ComposeDiagnoseReport(readings, [&](std::uint64_t) { return west; });
    for (const wchar_t* expected :
         {L"System log: Winlogon 7001/7002: error 5: Access is denied.",
          L"session manager: no reason given", L"(UTC-02:30)", L"reason: no shell",
          L"this session: not read", L"caption: --"}) {
        EXPECT_NE(report.find(expected), std::wstring::npos) << expected;
    }
}

}  // namespace
}  // namespace vossel
