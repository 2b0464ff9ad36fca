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
    readings.bootDiagnostics.read = true;
    readings.bootDiagnostics.events = {
        {kStart + 300 * kSecond, kStart + kSecond, 60'000, 31'000, 29'000, 4'800}};
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
          L"none: every source answered",
          L"start to the shell (MainPathBootTime): Windows 31000 ms, Vossel 30000 ms, "
          L"difference -1000 ms",
          L"(UserLogonWaitDuration): Windows 4800 ms, Vossel 5000 ms, difference +200 ms",
          L"UserLogonWaitDuration): Windows 26200 ms, Vossel 25000 ms, difference -1200 ms"}) {
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

// Event 100 is Windows' own for a boot, written minutes after it, not for every one; it is this
// start's only when its boot began near Vossel's start.
TEST(DiagnoseReport, TellsTheBootEventOfThisStart) {
    DiagnoseReadings readings = EveryField();
    StartMeasurement wake = readings.decision;
    wake.kind = StartKind::Resume;
    // Each event known by its BootTime: written when, its boot started when (0: not given).
    const auto event = [](std::int64_t name, std::int64_t written, std::int64_t bootStart) {
        return BootDiagnosticsEvent{kStart + written * kSecond,
                                    bootStart ? kStart + bootStart * kSecond : 0, name, {}, {}, {}};
    };
    const struct {
        std::vector<BootDiagnosticsEvent> events;
        bool resume;
        std::optional<std::int64_t> matched;
    } rows[] = {
        {{event(1, -3000, -3300), event(2, 300, -90), event(3, 300, 30)}, false, 3},  // nearest
        {{event(1, -3000, -3300)}, false, std::nullopt},  // the previous boot's only
        {{event(1, 300, 30)}, true, std::nullopt},        // a wake has none
        {{event(1, 200, 0), event(2, 100, 0), event(3, -100, 0)}, false, 2},  // first after start
    };
    for (const auto& row : rows) {
        const BootDiagnosticsEvent* matched = MatchBootEvent(
            {true, {}, row.events}, row.resume ? wake : readings.decision);
        EXPECT_EQ(matched ? matched->bootTimeMs : std::nullopt, row.matched);
    }
    // Refused, as to those who are not administrators: how to run it elevated.
    readings.bootDiagnostics = {false, {L"event 100", 5, L"Access is denied."}, {}};
    const std::wstring refused =
        ComposeDiagnoseReport(readings, [](std::uint64_t) { return std::optional<int>(0); });
    EXPECT_NE(refused.find(L"event 100: not read: error 5: Access is denied.\r\n  to read it: "
                           L"run it elevated: in a command prompt or PowerShell opened with \"Run "
                           L"as administrator\", Vossel.exe /diagnose > report.txt"),
              std::wstring::npos);
}

}  // namespace
}  // namespace vossel
