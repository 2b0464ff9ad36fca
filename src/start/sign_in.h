#pragma once
// How much of a start the user waited for, and whose start it was: the shell that belongs to this
// log-on, the phases of a first log-on, and a later or remote log-on told apart by evidence. Every
// reading is a parameter; a source that could not be read is told apart from one that was empty.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "start/clock_changes.h"
#include "start/start_identity.h"
#include "start/start_measurement.h"

namespace vossel {

// Why the wait at the sign-in screen is in the number.
inline constexpr std::wstring_view kAutomaticSignIn = L"automatic sign-in";
inline constexpr std::wstring_view kNoSessionTimes = L"no session times";
inline constexpr std::wstring_view kSignInTimesDisagree = L"sign-in times disagree";
inline constexpr std::wstring_view kSessionBeforeStart = L"session before start";
inline constexpr std::wstring_view kTimesOutOfOrder = L"times out of order";

// What told a later log-on apart.
inline constexpr std::wstring_view kOtherSession = L"other session";
inline constexpr std::wstring_view kWinlogonEvents = L"winlogon events";
inline constexpr std::wstring_view kEarlierRecord = L"earlier record";

// This run's session, as the session manager tells it. Times are FILETIMEs (UTC), 0 when unknown.
struct SessionReading {
    std::uint64_t connectUtc = 0;  // ConnectTime: the sign-in screen is there
    std::uint64_t logonUtc = 0;    // LogonTime: the user signed in
    bool remote = false;           // a remote desktop session
    bool locked = false;           // locked already when read: signed in by Windows itself
    std::optional<std::uint32_t> sessionId;  // its id; nothing when unknown
    std::wstring userSid;                    // this process's user, "S-1-..."; empty when unknown
};

// Winlogon's log-on (7001) or log-off (7002) notification. FILETIME (UTC).
struct WinlogonNotice {
    std::uint32_t eventId = 7001;
    std::uint64_t atUtc = 0;
    std::optional<std::uint32_t> sessionId;  // TSId; nothing when the event lacks it
    std::wstring userSid;                    // UserSid; empty when the event lacks it
};

// A first log-on's record of a start, read back from the log.
struct RecordedLogon {
    StartIdentity start;
    std::uint64_t signedInUtc = 0;
    std::int64_t durationMs = 0;
};

struct SignInEvidence {
    std::optional<SessionReading> session;  // nothing: it could not be read
    std::uint64_t lsaLogonUtc = 0;          // the shell's logon session's LogonTime; 0 unknown
    bool automaticSignIn = false;           // the PC signs in by itself (AutoAdminLogon)
    // Earlier log-ons of this start; each nothing where its source could not be read.
    std::optional<std::vector<std::uint64_t>> otherSessionLogons;  // other sessions' LogonTimes
    std::optional<std::vector<WinlogonNotice>> winlogonEvents;     // since the start
    std::optional<std::vector<RecordedLogon>> firstLogonRecords;   // Vossel's own, plausible
    // The changes of the system time since the start, newest first; nothing where the System log
    // could not be read (or has not been yet).
    std::optional<std::vector<ClockChange>> clockChanges;
};

// The shell's creation, this run's own, and the creation of the Explorer that started this run
// while it runs (0 when it did not, or has ended). FILETIMEs (UTC).
struct ShellCandidates {
    std::uint64_t shellUtc = 0;
    std::uint64_t selfUtc = 0;
    std::uint64_t parentShellUtc = 0;
    std::uint64_t signedInUtc = 0;  // 0 when unknown
};

// The creation time of this log-on's shell: the shell-window owner unless it was created after
// this run began or before the sign-in, then the Explorer that started this run; nothing when
// neither will do (the shell was restarted).
std::optional<std::uint64_t> ShellOfThisLogon(const ShellCandidates& candidates);

// The whole span from the start to the shell, made into what the window shows: a first log-on's
// phases with the wait left out where every boundary is known and in order, the whole span with
// the reason where not, and a later or remote log-on with its first log-on's number or none.
StartMeasurement ApplySignIn(const StartMeasurement& span, const SignInEvidence& evidence);

}  // namespace vossel
