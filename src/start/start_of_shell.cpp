#include "start/start_of_shell.h"

#include <optional>
#include <string>

#include "platform/clocks.h"
#include "platform/event_log.h"
#include "platform/event_log_query.h"
#include "platform/processes.h"
#include "platform/session.h"
#include "start/boot_duration.h"
#include "start/start_record.h"
#include "start/start_record_format.h"

namespace vossel {
namespace {

// Enough for every log-on of a busy start; the reading never runs on through years of log.
constexpr int kMaxRecordsRead = 500;

// The Explorer that started this run, while it runs: the shell of this log-on when the one that
// owns the shell window now is a later one. 0 when the parent is something else, or gone.
std::uint64_t ParentShellCreation() {
    const std::uint32_t parent = platform::ParentProcessId();
    if (parent == 0) return 0;
    bool isShell = false;
    platform::ForEachProcess([&](std::uint32_t id, std::string_view name) {
        if (id == parent && name.find(ShellProcessName) != std::string_view::npos) isShell = true;
    });
    if (!isShell) return 0;
    const std::uint64_t created = platform::ReadProcessCreationTime(parent).value_or(0);
    // An id is reused once its process has ended; a parent younger than its child is not it.
    return created != 0 && created <= platform::OwnCreationTime() ? created : 0;
}

std::wstring EventTimeFilter(std::uint64_t since) {
    return L"TimeCreated[@SystemTime>='" + UtcText(since) + L"']";
}

}  // namespace

std::uint32_t FindShellProcessId() {
    if (const std::uint32_t owner = platform::ShellWindowProcessId()) return owner;
    // No shell window (Wine has none): the walk, within this session.
    ShellProcessMatcher matcher(platform::InCurrentSession);
    platform::ForEachProcess(
        [&matcher](std::uint32_t id, std::string_view name) { matcher.Examine(id, name); });
    return matcher.ProcessId();
}

StartMeasurement MeasureStartOfShell(const SignInEvidence& earlier) {
    const std::uint32_t shell = FindShellProcessId();
    if (shell == 0) return StartMeasurement::NotMeasured(kNoShell);
    const std::optional<std::uint64_t> created = platform::ReadProcessCreationTime(shell);
    if (!created) return StartMeasurement::NotMeasured(kShellNotReadable);

    SignInEvidence evidence = earlier;
    if (const auto session = platform::ReadOwnSession()) {
        evidence.session =
            SessionReading{session->connectUtc, session->logonUtc, session->remote, session->locked};
    }
    const std::uint64_t signedIn = evidence.session ? evidence.session->logonUtc : 0;
    ShellCandidates candidates{*created, platform::OwnCreationTime(), 0, signedIn};
    std::optional<std::uint64_t> shellCreated = ShellOfThisLogon(candidates);
    if (!shellCreated) {
        candidates.parentShellUtc = ParentShellCreation();
        shellCreated = ShellOfThisLogon(candidates);
    }
    if (!shellCreated) return StartMeasurement::NotMeasured(kShellRestarted);

    const platform::ClockReading clocks = platform::ReadClocks();
    StartMeasurement span = MeasureStart(
        *shellCreated,
        {clocks.systemTime, clocks.interruptTime, clocks.tickCountMs, clocks.unbiasedInterruptTime},
        []() -> std::optional<SuspendTimes> {
            const auto times = platform::ReadSuspendTimes();
            if (!times) return std::nullopt;
            return SuspendTimes{times->lastSleep, times->lastWake};
        });
    span.shellCreatedUtc = *shellCreated;
    evidence.lsaLogonUtc = platform::ReadLogonSessionTime(shell);
    evidence.automaticSignIn = platform::SignsInAutomatically();
    return ApplySignIn(span, evidence);
}

void ReadOtherSessions(SignInEvidence& earlier) {
    earlier.otherSessionLogons = platform::ReadOtherSessionLogons();
}

SignInEvidence ReadEarlierLogons(std::uint64_t startUtc) {
    SignInEvidence evidence;
    // The clock may have been put back a little since the start was stamped.
    const std::uint64_t since = startUtc > kSameStartTolerance ? startUtc - kSameStartTolerance : 0;

    std::vector<std::uint64_t> events;
    int examined = 0;
    const std::wstring winlogon =
        L"*[System[Provider[@Name='Microsoft-Windows-Winlogon'] and (EventID=7001 or "
        L"EventID=7002) and " + EventTimeFilter(since) + L"]]";
    if (platform::QueryEventRecordsNewestFirst(
            L"System", winlogon.c_str(), [&](const platform::EventRecordValues& record) {
                if (record.eventId == 7001 || record.eventId == 7002) {
                    events.push_back(record.systemTime);
                }
                return ++examined < kMaxRecordsRead;
            }) == 0) {
        evidence.winlogonEvents = std::move(events);
    }

    std::vector<RecordedLogon> logons;
    examined = 0;
    const std::wstring own = L"*[System[Provider[@Name='" + std::wstring(platform::kEventSource) +
                             L"'] and (EventID=1001 or EventID=1002) and " +
                             EventTimeFilter(since) + L"]]";
    if (platform::QueryEventRecordsNewestFirst(
            L"Application", own.c_str(), [&](const platform::EventRecordValues& record) {
                const auto read = ParseStartRecord(record.eventId, record.systemTime, record.values);
                if (read && read->format >= 2 && read->logon == LogonKind::First && read->Measured()) {
                    logons.push_back({{read->startUtc, read->startPlace}, read->signedInUtc,
                                      read->durationMs});
                }
                return ++examined < kMaxRecordsRead;
            }) == 0) {
        evidence.firstLogonRecords = std::move(logons);
    }
    return evidence;
}

}  // namespace vossel
