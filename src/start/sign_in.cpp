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

// This log-on's own notification: the newest log-on of its session id and user. Nothing where
// the events do not carry the id.
const WinlogonNotice* OwnNotice(const std::vector<WinlogonNotice>& events,
                                const SessionReading& session) {
    if (!session.sessionId) return nullptr;
    const WinlogonNotice* own = nullptr;
    for (const WinlogonNotice& event : events) {
        if (event.eventId != 7001 || event.sessionId != session.sessionId) continue;
        if (!session.userSid.empty() && !event.userSid.empty() &&
            event.userSid != session.userSid) {
            continue;
        }
        if (!own || event.atUtc > own->atUtc) own = &event;
    }
    return own;
}

// What shows that someone signed in earlier in this start; empty when nothing readable does.
// Every instant is on the present clock.
std::wstring_view EarlierLogon(const StartMeasurement& span, const SignInEvidence& evidence,
                               const SessionReading& session) {
    const std::uint64_t signedIn = session.logonUtc;
    // Sessions do not outlive a kernel start, and a session that was there at the wake was signed
    // in before it: whatever the instant on its own clock, it is an earlier log-on of this start.
    if (signedIn != 0 && evidence.otherSessionLogons &&
        std::any_of(
            evidence.otherSessionLogons->begin(), evidence.otherSessionLogons->end(),
            [&](std::uint64_t at) { return at != 0 && At(at) < At(signedIn) - kOrderTolerance; })) {
        return kOtherSession;
    }
    bool winlogonEarlier = false;
    if (evidence.winlogonEvents) {
        const WinlogonNotice* own = OwnNotice(*evidence.winlogonEvents, session);
        for (const WinlogonNotice& event : *evidence.winlogonEvents) {
            if (&event == own) continue;
            // After a full boot every event read belongs to this start.
            if (span.kind == StartKind::Resume &&
                At(event.atUtc) < At(span.startUtc) - kOrderTolerance) {
                continue;
            }
            if (own) {
                // Known by its session and user: any other event before this log-on counts.
                if (signedIn == 0 || At(event.atUtc) < At(signedIn) + kOwnEventMargin) {
                    winlogonEarlier = true;
                }
            } else if (signedIn != 0 && At(event.atUtc) < At(signedIn) - kOwnEventMargin) {
                winlogonEarlier = true;
            }
        }
        if (winlogonEarlier) return kWinlogonEvents;
    }
    // Any program may write a record; only the system writes the System log. Where it could be
    // read, a record alone does not make this a later log-on.
    if (evidence.firstLogonRecords && !evidence.winlogonEvents &&
        EarlierRecord(span, *evidence.firstLogonRecords, signedIn)) {
        return kEarlierRecord;
    }
    return {};
}

// A record was written on the clock as it was then, its start instant and sign-in alike. Each step
// leaves one clock behind it, the present one less the steps since; the one on which the record's
// start is this start (the nearest, where small steps leave several) is the record's, and both its
// instants move onto the present clock with it.
void PlaceRecord(const std::vector<ClockChange>& changes, const StartMeasurement& span,
                 RecordedLogon& record) {
    if (record.start.startUtc == 0) return;
    const StartIdentity present{span.startUtc, span.startPlace};
    std::optional<std::int64_t> best;
    std::uint64_t bestApart = 0;
    const auto consider = [&](std::int64_t offset) {
        const std::int64_t moved = At(record.start.startUtc) + offset;
        if (moved <= 0) return;
        const auto placed = static_cast<std::uint64_t>(moved);
        if (!SameStart(present, {placed, record.start.startPlace})) return;
        const std::uint64_t apart =
            placed > span.startUtc ? placed - span.startUtc : span.startUtc - placed;
        if (!best || apart < bestApart) {
            best = offset;
            bestApart = apart;
        }
    };
    std::int64_t offset = 0;
    consider(offset);
    for (const ClockChange& change : changes) {
        if (!IsClockStep(change)) continue;
        offset += At(change.newUtc) - At(change.oldUtc);
        consider(offset);
    }
    if (!best) return;
    record.start.startUtc = static_cast<std::uint64_t>(At(record.start.startUtc) + *best);
    if (record.signedInUtc != 0 && At(record.signedInUtc) + *best > 0) {
        record.signedInUtc = static_cast<std::uint64_t>(At(record.signedInUtc) + *best);
    }
}

// Every stamp of the evidence placed on the present clock; false where one of this session's own
// could not be placed.
bool PlaceOnPresentClock(const std::vector<ClockChange>& changes, const StartMeasurement& span,
                         SessionReading& session, SignInEvidence& evidence) {
    bool known = true;
    // Every stamp lies after the kernel's start (a wake's sessions too) and before the span was
    // measured.
    const auto tolerance = static_cast<std::uint64_t>(kOrderTolerance);
    const std::uint64_t kernelStart = span.startUtc > span.startPlace + tolerance
                                          ? span.startUtc - span.startPlace - tolerance
                                          : 0;
    const auto place = [&](std::uint64_t& stamp, bool own) {
        if (const auto placed = OnPresentClock(stamp, changes, kernelStart, span.measuredUtc)) {
            stamp = *placed;
        } else if (own) {
            known = false;
        }
    };
    place(session.connectUtc, true);
    place(session.logonUtc, true);
    place(evidence.lsaLogonUtc, true);
    if (evidence.otherSessionLogons) {
        for (std::uint64_t& at : *evidence.otherSessionLogons) place(at, false);
    }
    if (evidence.winlogonEvents) {
        for (WinlogonNotice& event : *evidence.winlogonEvents) place(event.atUtc, false);
    }
    if (evidence.firstLogonRecords) {
        for (RecordedLogon& record : *evidence.firstLogonRecords) {
            PlaceRecord(changes, span, record);
        }
    }
    return known;
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

StartMeasurement ApplySignIn(const StartMeasurement& span, const SignInEvidence& given) {
    StartMeasurement result = span;
    SignInEvidence evidence = given;
    SessionReading session = evidence.session.value_or(SessionReading{});
    const bool clockRead = evidence.clockChanges.has_value();
    const bool placed =
        !clockRead || PlaceOnPresentClock(*evidence.clockChanges, span, session, evidence);
    result.placedOnClock = clockRead;
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

    const std::wstring_view earlier = EarlierLogon(span, evidence, session);
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
    } else if (!placed) {
        result.waitIncluded = kClock;
    } else if (evidence.lsaLogonUtc != 0 && std::max(signedIn, At(evidence.lsaLogonUtc)) -
                                                    std::min(signedIn, At(evidence.lsaLogonUtc)) >
                                                kLsaTolerance) {
        result.waitIncluded = kSignInTimesDisagree;
    } else if (screen < start - kOrderTolerance) {
        if (span.kind == StartKind::FullBoot && !clockRead) {
            // No session is older than the kernel: the clock was stepped since, and the changes
            // are not known, so neither is any span measured across them.
            StartMeasurement unknown = StartMeasurement::NotMeasured(kClock);
            unknown.startUtc = span.startUtc;
            unknown.startPlace = span.startPlace;
            unknown.shellCreatedUtc = span.shellCreatedUtc;
            unknown.signInScreenUtc = session.connectUtc;
            unknown.signedInUtc = session.logonUtc;
            return unknown;
        }
        // A session older than the start: after a Fast Startup power-on the session manager
        // created it anew, so this is a wake with the user still signed in.
        result.waitIncluded = kSessionBeforeStart;
    } else if (signedIn < screen - kOrderTolerance || shell < signedIn - kOrderTolerance) {
        result.waitIncluded = kTimesOutOfOrder;
    } else {
        // Each boundary kept within the span, so that the phases add up to it.
        const std::int64_t ready = std::clamp(screen, start, std::max(start, shell));
        const std::int64_t in = std::clamp(signedIn, ready, std::max(ready, shell));
        result.windowsStartMs = FloorMs(ready - start);
        result.signInWaitMs = FloorMs(in - ready);
        result.signingInMs = FloorMs(shell - in);
        // Nobody waited at the sign-in screen: the time there was the system's own work.
        if (evidence.automaticSignIn || session.locked) {
            result.waitIncluded = kAutomaticSignIn;
        } else {
            result.durationMs =
                std::min(span.durationMs, *result.windowsStartMs + *result.signingInMs);
        }
    }
    return result;
}

}  // namespace vossel
