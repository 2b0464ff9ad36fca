#include "start/sign_in.h"

#include <algorithm>

namespace vossel {
namespace {

constexpr std::int64_t kTicksPerMs = 10'000;
// Instants from different writers (the session manager, LSA, the process table) that should be in
// order may be this far out of it: the clocks' granularity and the order in which they are stamped.
constexpr std::int64_t kOrderTolerance = 2'000 * kTicksPerMs;
// The session's LogonTime and LSA's for the same sign-in are stamped a moment apart; further
// apart, one of them is not this sign-in's.
constexpr std::int64_t kLsaTolerance = 60'000 * kTicksPerMs;
// Explorer starts the programs of the Run key seconds after it starts itself; Wine starts its
// desktop a moment after the first program. A shell younger than this run by more than this was
// started again after it.
constexpr std::int64_t kShellAfterRunTolerance = 10'000 * kTicksPerMs;
// Winlogon logs this session's own log-on a moment around its LogonTime.
constexpr std::int64_t kOwnEventMargin = 5'000 * kTicksPerMs;

std::int64_t At(std::uint64_t filetime) { return static_cast<std::int64_t>(filetime); }

std::int64_t FloorMs(std::int64_t ticks) {
    const std::int64_t quotient = ticks / kTicksPerMs;
    return ticks % kTicksPerMs < 0 ? quotient - 1 : quotient;
}

// The first log-on's record of this start, signed in before this log-on; signedIn 0 takes any.
const RecordedLogon* EarlierRecord(const StartMeasurement& span,
                                   const std::vector<RecordedLogon>& records,
                                   std::uint64_t signedIn) {
    const RecordedLogon* earliest = nullptr;
    for (const RecordedLogon& record : records) {
        if (!SameStart({span.startUtc, span.startPlace}, record.start)) continue;
        if (signedIn != 0 &&
            (record.signedInUtc == 0 || At(record.signedInUtc) + kOrderTolerance >= At(signedIn))) {
            continue;
        }
        if (!earliest || record.signedInUtc < earliest->signedInUtc) earliest = &record;
    }
    return earliest;
}

// What shows that someone signed in earlier in this start; empty when nothing readable does.
std::wstring_view EarlierLogon(const StartMeasurement& span, const SignInEvidence& evidence,
                               std::uint64_t signedIn) {
    if (evidence.firstLogonRecords && EarlierRecord(span, *evidence.firstLogonRecords, signedIn)) {
        return kEarlierRecord;
    }
    // Without this log-on's own instant nothing else can be put before it.
    if (signedIn == 0) return {};
    const auto between = [&](std::uint64_t at, std::int64_t margin) {
        return At(at) >= At(span.startUtc) - kOrderTolerance && At(at) < At(signedIn) - margin;
    };
    if (evidence.otherSessionLogons &&
        std::any_of(evidence.otherSessionLogons->begin(), evidence.otherSessionLogons->end(),
                    [&](std::uint64_t at) { return at != 0 && between(at, kOrderTolerance); })) {
        return kOtherSession;
    }
    if (evidence.winlogonEvents &&
        std::any_of(evidence.winlogonEvents->begin(), evidence.winlogonEvents->end(),
                    [&](std::uint64_t at) { return between(at, kOwnEventMargin); })) {
        return kWinlogonEvents;
    }
    return {};
}

}  // namespace

std::optional<std::uint64_t> ShellOfThisLogon(const ShellCandidates& candidates) {
    const bool afterThisRun =
        At(candidates.shellUtc) > At(candidates.selfUtc) + kShellAfterRunTolerance;
    const bool beforeSignIn = candidates.signedInUtc != 0 &&
                              At(candidates.shellUtc) < At(candidates.signedInUtc) - kOrderTolerance;
    if (candidates.shellUtc != 0 && !afterThisRun && !beforeSignIn) return candidates.shellUtc;
    if (candidates.parentShellUtc != 0) return candidates.parentShellUtc;
    return std::nullopt;
}

StartMeasurement ApplySignIn(const StartMeasurement& span, const SignInEvidence& evidence) {
    StartMeasurement result = span;
    const SessionReading session = evidence.session.value_or(SessionReading{});
    result.signInScreenUtc = session.connectUtc;
    result.signedInUtc = session.logonUtc;
    const std::int64_t start = At(span.startUtc);
    const std::int64_t shell = At(span.shellCreatedUtc);
    const std::int64_t signedIn = At(session.logonUtc);
    if (session.logonUtc != 0 && span.shellCreatedUtc != 0 && signedIn <= shell + kOrderTolerance &&
        (span.startUtc == 0 || signedIn >= start - kOrderTolerance)) {
        result.signingInMs = std::max<std::int64_t>(0, FloorMs(shell - signedIn));
    }
    if (span.kind == StartKind::NotMeasured) {
        if (session.remote) result.logon = LogonKind::Remote;
        return result;
    }

    const std::wstring_view earlier = EarlierLogon(span, evidence, session.logonUtc);
    if (session.remote || !earlier.empty()) {
        result.kind = StartKind::NotMeasured;
        result.durationMs = 0;
        result.logon = session.remote ? LogonKind::Remote : LogonKind::Later;
        result.reason = session.remote ? kRemoteSession : kLaterLogon;
        result.logonEvidence = earlier;
        if (evidence.firstLogonRecords) {
            if (const RecordedLogon* first =
                    EarlierRecord(span, *evidence.firstLogonRecords, session.logonUtc)) {
                result.firstLogonMs = first->durationMs;
            }
        }
        return result;
    }

    const std::int64_t screen = At(session.connectUtc);
    if (!evidence.session || session.connectUtc == 0 || session.logonUtc == 0) {
        result.waitIncluded = kNoSessionTimes;
    } else if (evidence.lsaLogonUtc != 0 &&
               std::max(signedIn, At(evidence.lsaLogonUtc)) -
                       std::min(signedIn, At(evidence.lsaLogonUtc)) >
                   kLsaTolerance) {
        result.waitIncluded = kSignInTimesDisagree;
    } else if (screen < start - kOrderTolerance) {
        // A session older than the start: after a Fast Startup power-on the session manager
        // created it anew, so this is a wake with the user still signed in.
        result.waitIncluded = kSessionBeforeStart;
    } else if (signedIn < screen - kOrderTolerance || shell < signedIn - kOrderTolerance) {
        result.waitIncluded = kTimesOutOfOrder;
    } else {
        const std::int64_t ready = std::clamp(screen, start, std::max(start, signedIn));
        result.windowsStartMs = FloorMs(ready - start);
        result.signInWaitMs = std::max<std::int64_t>(0, FloorMs(signedIn - ready));
        result.signingInMs = std::max<std::int64_t>(0, FloorMs(shell - signedIn));
        // Nobody waited at the sign-in screen: the time there was the system's own work.
        if (evidence.automaticSignIn || session.locked) {
            result.waitIncluded = kAutomaticSignIn;
        } else {
            result.durationMs = *result.windowsStartMs + *result.signingInMs;
        }
    }
    return result;
}

}  // namespace vossel
