#include "start/start_of_shell.h"

#include <optional>
#include <string>

#include "platform/clocks.h"
#include "platform/event_log.h"
#include "platform/event_log_query.h"
#include "platform/processes.h"
#include "platform/session.h"
#include "platform/system_log.h"
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
        if (id == parent && HoldsShellName(name)) isShell = true;
    });
    if (!isShell) return 0;
    const std::uint64_t created = platform::ReadProcessCreationTime(parent).value_or(0);
    // An id is reused once its process has ended; a parent younger than its child is not it.
    return created != 0 && created <= platform::OwnCreationTime() ? created : 0;
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

StartReadings ReadStartOfShell(const SignInEvidence& earlier) {
    StartReadings readings;
    readings.evidence = earlier;
    readings.evidence.session.reset();
    readings.shellProcessId = FindShellProcessId();
    if (readings.shellProcessId == 0) return readings;
    readings.shellCreatedUtc = platform::ReadProcessCreationTime(readings.shellProcessId);
    if (!readings.shellCreatedUtc) return readings;

    const auto session = platform::ReadOwnSession();
    if (session) {
        readings.evidence.session =
            SessionReading{session->connectUtc, session->logonUtc, false, session->locked, {}, {}};
    }
    // The session reader's remote flag is SM_REMOTESESSION (or a test build's stand-in).
    readings.remoteMetric = session ? session->remote : platform::RemoteSessionMetric();
    if (const auto own = platform::ReadOwnSessionId(); own.error == 0)
        readings.ownSessionId = own.id;
    if (const auto glass = platform::ReadGlassSessionId(); glass.error == 0) {
        readings.glassSessionId = glass.id;
    }
    const std::uint64_t signedIn =
        readings.evidence.session ? readings.evidence.session->logonUtc : 0;
    readings.selfCreatedUtc = platform::OwnCreationTime();
    if (!ShellOfThisLogon({*readings.shellCreatedUtc, readings.selfCreatedUtc, 0, signedIn})) {
        readings.parentShellRead = true;
        readings.parentShellUtc = ParentShellCreation();
        if (!ShellOfThisLogon({*readings.shellCreatedUtc, readings.selfCreatedUtc,
                               readings.parentShellUtc, signedIn})) {
            return readings;
        }
    }

    const platform::ClockReading clocks = platform::ReadClocks();
    readings.clocks = StartClocks{clocks.systemTime, clocks.interruptTime, clocks.tickCountMs,
                                  clocks.unbiasedInterruptTime};
    if (SuspendedSinceStart(*readings.clocks)) {
        if (const auto times = platform::ReadSuspendTimes()) {
            readings.suspendTimes = SuspendTimes{times->lastSleep, times->lastWake};
        }
    }
    // Both only bear on a sign-in instant that the session told: without one the wait stays in.
    if (signedIn != 0) {
        readings.evidence.lsaLogonUtc = platform::ReadLogonSessionTime(readings.shellProcessId);
        readings.autoAdminLogon = platform::StringsOf(platform::ReadAutoAdminLogon());
        for (const platform::LegalNoticeValue& value : platform::ReadLegalNotice()) {
            readings.legalNotice.push_back(platform::StringsOf(value.value));
        }
        std::wstring sid;
        if (platform::ReadOwnUserSid(sid) == 0) readings.evidence.session->userSid = std::move(sid);
    }
    return readings;
}

StartMeasurement MeasureStartOfShell(const SignInEvidence& earlier) {
    return DecideStart(ReadStartOfShell(earlier));
}

void ReadOtherSessions(SignInEvidence& earlier) {
    earlier.otherSessionLogons = platform::ReadOtherSessionLogons();
}

SignInEvidence ReadEarlierLogons(std::uint64_t startUtc) {
    SignInEvidence evidence;
    // The clock may have been put back a little since the start was stamped.
    const std::uint64_t since = startUtc > kSameStartTolerance ? startUtc - kSameStartTolerance : 0;

    std::vector<platform::ClockChangeEvent> read;
    if (platform::ReadClockChanges(since, kMaxRecordsRead, read) == 0) {
        std::vector<ClockChange> changes;
        for (const platform::ClockChangeEvent& change : read) {
            changes.push_back({change.eventUtc, change.oldUtc, change.newUtc, change.reason});
        }
        evidence.clockChanges = std::move(changes);
    }
    // Stamped before a step forward, this start's events lie before it on their own clocks.
    const std::uint64_t forward = evidence.clockChanges ? StepsForward(*evidence.clockChanges) : 0;
    const std::uint64_t winlogonSince = since > forward ? since - forward : 0;

    std::vector<platform::WinlogonEvent> events;
    if (platform::ReadWinlogonEvents(winlogonSince, kMaxRecordsRead, events) == 0) {
        std::vector<WinlogonNotice> notices;
        for (platform::WinlogonEvent& event : events) {
            WinlogonNotice notice{event.eventId, event.eventUtc, std::nullopt,
                                  std::move(event.userSid)};
            if (event.hasSessionId) notice.sessionId = event.sessionId;
            notices.push_back(std::move(notice));
        }
        evidence.winlogonEvents = std::move(notices);
    }

    std::vector<RecordedLogon> logons;
    int examined = 0;
    const std::uint64_t now = platform::ReadClocks().systemTime;
    const std::wstring own = L"*[System[Provider[@Name='" + std::wstring(platform::kEventSource) +
                             L"'] and (EventID=1001 or EventID=1002) and " +
                             platform::EventTimeFilter(since) + L"]]";
    if (platform::QueryEventRecordsNewestFirst(
            L"Application", own.c_str(), [&](const platform::EventRecordValues& record) {
                const auto read = ParseStartRecord(record.eventId, record.systemTime, record.values);
                // Any program may write under the source: only what a real start could give counts.
                if (read && read->format >= 2 && read->logon == LogonKind::First &&
                    read->Measured() && PlausibleRecord(*read, now)) {
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
