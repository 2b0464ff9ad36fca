// Test-only build: readings that every source answers, for a report in which every field shows a
// value. Wine's sessions, LSA and event logs are stubs, so only this build shows them end to end.
#ifdef VOSSEL_FAULT_DIAGNOSE_READINGS
#include "diagnose/diagnose_report.h"

namespace vossel {

// A full boot on 2025-12-13: the sign-in screen 20 s after the kernel's start, signed in 5 s
// later, the shell 5 s after that; Windows' event 100 of this boot and of the one before.
DiagnoseReadings StandInReadings() {
    constexpr std::uint64_t kStart = 134'100'000'000'000'000;
    constexpr std::uint64_t kSecond = 10'000'000;
    constexpr std::uint64_t kDay = 86'400 * kSecond;
    const std::wstring user = L"S-1-5-21-1-2-3-1001";
    DiagnoseReadings readings;
    StartReadings& start = readings.start;
    start.shellProcessId = 4242;
    start.shellCreatedUtc = kStart + 30 * kSecond;
    start.selfCreatedUtc = kStart + 31 * kSecond;
    start.parentShellRead = true;
    start.parentShellUtc = kStart + 30 * kSecond;
    start.clocks = StartClocks{kStart + 40 * kSecond, 40 * kSecond, 40'000, 40 * kSecond};
    start.evidence.session =
        SessionReading{kStart + 20 * kSecond, kStart + 25 * kSecond, false, false, 1, user};
    start.evidence.lsaLogonUtc = kStart + 25 * kSecond;
    start.evidence.otherSessionLogons = std::vector<std::uint64_t>{};
    start.evidence.winlogonEvents =
        std::vector<WinlogonNotice>{{7001, kStart + 26 * kSecond, 1, user}};
    // The clock set from the hardware clock at the boot: not a step.
    start.evidence.clockChanges =
        std::vector<ClockChange>{{kStart + 2 * kSecond, kStart - kDay, kStart + 2 * kSecond, 2}};
    start.evidence.firstLogonRecords =
        std::vector<RecordedLogon>{{{kStart, 0}, kStart + 25 * kSecond, 25'000}};
    start.ownSessionId = 1;
    start.glassSessionId = 1;
    start.autoAdminLogon = std::vector<std::wstring>{L"0"};
    start.legalNotice = {std::vector<std::wstring>{L"Notice"},
                         std::vector<std::wstring>{L"Authorised", L"use only"},
                         std::vector<std::wstring>{}, std::nullopt};
    readings.decision = DecideStart(start);
    readings.bootDiagnostics.read = true;
    readings.bootDiagnostics.events = {
        {kStart + 330 * kSecond, kStart + kSecond / 2, 70'000, 31'000, 39'000, 4'800},
        {kStart - kDay + 300 * kSecond, kStart - kDay, 65'000, 29'000, 36'000, 0}};
    return readings;
}

}  // namespace vossel
#endif
