#include "start/sign_in.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

#include "history/start_history.h"
#include "start/start_readings.h"
#include "start/start_record.h"

namespace vossel {
namespace {

constexpr std::uint64_t kMs = 10'000;  // 100 ns units
constexpr std::uint64_t kSecond = 1000 * kMs;
constexpr std::uint64_t kHour = 3600 * kSecond;
// The kernel's start: 2024-03-11 00:00:00 UTC.
constexpr std::uint64_t kStart = 133'545'888'000'000'000;

// A first log-on's whole span: the kernel started at kStart, the shell came `shell` after it.
StartMeasurement Span(std::uint64_t shell, StartKind kind = StartKind::FullBoot,
                      std::uint64_t place = 0) {
    StartMeasurement span;
    span.kind = kind;
    span.durationMs = static_cast<std::int64_t>(shell / kMs);
    span.startUtc = kStart;
    span.shellCreatedUtc = kStart + shell;
    span.startPlace = place;
    return span;
}

SessionReading Session(std::uint64_t connect, std::uint64_t logon) {
    return {
        connect ? kStart + connect : 0, logon ? kStart + logon : 0, false, false, 2, L"S-1-5-21-7"};
}

struct SignInCase {
    const char* name;
    StartMeasurement span;
    SignInEvidence evidence;
    StartKind kind;
    std::int64_t durationMs;  // when measured
    std::wstring_view waitIncluded;
    LogonKind logon;
    std::optional<std::int64_t> firstLogonMs;
    std::wstring_view evidenceName;
};

std::vector<SignInCase> Cases() {
    const auto with = [](SessionReading session) {
        SignInEvidence evidence;
        evidence.session = session;
        return evidence;
    };
    SignInEvidence automatic = with(Session(20 * kSecond, 40 * kSecond));
    automatic.automaticSignIn = true;
    SessionReading lockedSession = Session(20 * kSecond, 21 * kSecond);
    lockedSession.locked = true;
    SignInEvidence lsaAgrees = with(Session(20 * kSecond, 320 * kSecond));
    lsaAgrees.lsaLogonUtc = kStart + 321 * kSecond;
    SignInEvidence lsaDisagrees = lsaAgrees;
    lsaDisagrees.lsaLogonUtc = kStart + 3 * kHour;
    SessionReading remoteSession = Session(5 * kHour, 5 * kHour + 2 * kSecond);
    remoteSession.remote = true;

    // A second user, two hours after the start; the first signed in at 40 s.
    const SessionReading later = Session(2 * kHour, 2 * kHour + 10 * kSecond);
    SignInEvidence otherSession = with(later);
    otherSession.otherSessionLogons = std::vector<std::uint64_t>{kStart + 40 * kSecond};
    SignInEvidence winlogon = with(later);
    winlogon.winlogonEvents = std::vector<WinlogonNotice>{
        {7001, kStart + 40 * kSecond, 1, L"S-1-5-21-8"}, {7002, kStart + kHour, 1, L"S-1-5-21-8"}};
    SignInEvidence record = with(later);
    record.firstLogonRecords = std::vector<RecordedLogon>{
        {{kStart + 3 * kSecond, 0}, kStart + 40 * kSecond, 27'500}};
    SignInEvidence remoteWithRecord = record;
    remoteWithRecord.session = remoteSession;
    // Every source read and empty, or unreadable: a first log-on either way.
    SignInEvidence empty = with(Session(20 * kSecond, 40 * kSecond));
    empty.otherSessionLogons.emplace();
    empty.winlogonEvents.emplace();
    empty.firstLogonRecords.emplace();
    // This log-on's own Winlogon event, a moment before its LogonTime, and its own record.
    SignInEvidence ownTraces = with(Session(20 * kSecond, 40 * kSecond));
    ownTraces.winlogonEvents = std::vector<WinlogonNotice>{{7001, kStart + 38 * kSecond, {}, {}}};
    ownTraces.firstLogonRecords = std::vector<RecordedLogon>{
        {{kStart, 0}, kStart + 40 * kSecond, 45'000}};
    // Winlogon's own 7001 for this session and user, written 20 s before the LogonTime; an
    // earlier log-on's in the same session id, and another session's, still count.
    SignInEvidence ownEarly = with(Session(20 * kSecond, 40 * kSecond));
    ownEarly.winlogonEvents =
        std::vector<WinlogonNotice>{{7001, kStart + 20 * kSecond, 2, L"S-1-5-21-7"}};
    SignInEvidence sameIdBefore = with(later);
    sameIdBefore.winlogonEvents =
        std::vector<WinlogonNotice>{{7001, kStart + 2 * kHour + 9 * kSecond, 2, L"S-1-5-21-7"},
                                    {7001, kStart + 40 * kSecond, 2, L"S-1-5-21-8"}};
    // A wake to another user's lock screen: that user signed in before the sleep.
    SignInEvidence wakeToOther =
        with({kStart + 100 * kSecond, kStart + 110 * kSecond, false, false, 2, {}});
    wakeToOther.otherSessionLogons = std::vector<std::uint64_t>{kStart - 5 * kHour};
    // After a full boot another session signed in before a step forward: on its clock, before
    // the start.
    SignInEvidence steppedOther = with(Session(1000 * kSecond, 1010 * kSecond));
    steppedOther.otherSessionLogons = std::vector<std::uint64_t>{kStart - 560 * kSecond};
    // A record says someone signed in earlier; the System log, which only the system writes,
    // was read and says nobody did.
    SignInEvidence recordAlone = record;
    recordAlone.winlogonEvents = std::vector<WinlogonNotice>{};
    // A record of another start: a quick restart away, or another resume's place.
    SignInEvidence otherStarts = with(later);
    otherStarts.firstLogonRecords = std::vector<RecordedLogon>{
        {{kStart - 40 * kSecond, 0}, kStart - 20 * kSecond, 20'000},
        {{kStart, 5 * kHour}, kStart + 40 * kSecond, 20'000}};

    // The first log-on wrote its record on a clock 600 s behind; the clock was stepped forward
    // an hour into the start.
    SignInEvidence recordBeforeStep = record;
    recordBeforeStep.firstLogonRecords = std::vector<RecordedLogon>{
        {{kStart - 600 * kSecond, 0}, kStart - 560 * kSecond, 27'500}};
    recordBeforeStep.clockChanges = std::vector<ClockChange>{
        {kStart + kHour + 600 * kSecond, kStart + kHour, kStart + kHour + 600 * kSecond, 1}};

    constexpr auto kFull = StartKind::FullBoot;
    constexpr auto kResume = StartKind::Resume;
    constexpr auto kNot = StartKind::NotMeasured;
    constexpr auto kFirst = LogonKind::First;
    constexpr auto kLater = LogonKind::Later;
    constexpr auto kRemote = LogonKind::Remote;
    // clang-format off
    return {
        // name                                  span                              evidence                                        kind    ms       wait included          logon    first ms  evidence
        {"a password: 5 minutes left out",       Span(345 * kSecond),              with(Session(20 * kSecond, 320 * kSecond)),     kFull,  45'000,  {},                    kFirst,  {},       {}},
        {"LSA agrees within a minute",           Span(345 * kSecond),              lsaAgrees,                                      kFull,  45'000,  {},                    kFirst,  {},       {}},
        {"the screen before the start: clamped", Span(60 * kSecond),               with(Session(1 * kSecond, 30 * kSecond) ),      kFull,  31'000,  {},                    kFirst,  {},       {}},
        {"automatic sign-in: the whole span",    Span(60 * kSecond),               automatic,                                      kFull,  60'000,  kAutomaticSignIn,      kFirst,  {},       {}},
        {"locked at once: signed in by Windows", Span(60 * kSecond),               with(lockedSession),                            kFull,  60'000,  kAutomaticSignIn,      kFirst,  {},       {}},
        {"no session (Wine)",                    Span(60 * kSecond),               SignInEvidence{},                               kFull,  60'000,  kNoSessionTimes,       kFirst,  {},       {}},
        {"a session without times",              Span(60 * kSecond),               with(Session(0, 30 * kSecond)),                 kFull,  60'000,  kNoSessionTimes,       kFirst,  {},       {}},
        {"LSA three hours off",                  Span(345 * kSecond),              lsaDisagrees,                                   kFull,  345'000, kSignInTimesDisagree,  kFirst,  {},       {}},
        {"Fast Startup: session before the wake",Span(30 * kSecond, kResume, kHour), with(Session(0, 0) ),                         kResume,30'000,  kNoSessionTimes,       kFirst,  {},       {}},
        {"a wake with the user signed in",       Span(30 * kSecond, kResume, kHour), with({kStart - 3 * kHour, kStart - 3 * kHour + 20 * kSecond, false, false, {}, {}}), kResume, 30'000, kSessionBeforeStart, kFirst, {}, {}},
        {"signed in after the shell",            Span(60 * kSecond),               with(Session(20 * kSecond, 90 * kSecond)),      kFull,  60'000,  kTimesOutOfOrder,      kFirst,  {},       {}},
        {"signed in before the screen",          Span(60 * kSecond),               with(Session(40 * kSecond, 20 * kSecond)),      kFull,  60'000,  kTimesOutOfOrder,      kFirst,  {},       {}},
        {"sources read, all empty",              Span(60 * kSecond),               empty,                                          kFull,  40'000,  {},                    kFirst,  {},       {}},
        {"its own event and record",             Span(65 * kSecond),               ownTraces,                                      kFull,  45'000,  {},                    kFirst,  {},       {}},
        {"another user signed in earlier",       Span(2 * kHour + 30 * kSecond),   otherSession,                                   kNot,   0,       {},                    kLater,  {},       kOtherSession},
        {"a log-off and log-on since the start", Span(2 * kHour + 30 * kSecond),   winlogon,                                       kNot,   0,       {},                    kLater,  {},       kWinlogonEvents},
        {"the first log-on's record, adjusted",  Span(2 * kHour + 30 * kSecond),   record,                                         kNot,   0,       {},                    kLater,  27'500,   kEarlierRecord},
        {"its record before a step forward",     Span(2 * kHour + 30 * kSecond),   recordBeforeStep,                               kNot,   0,       {},                    kLater,  27'500,   kEarlierRecord},
        {"remote, the start's record found",     Span(5 * kHour + 9 * kSecond),    remoteWithRecord,                               kNot,   0,       {},                    kRemote, 27'500,   kEarlierRecord},
        {"remote, nothing found",                Span(5 * kHour + 9 * kSecond),    with(remoteSession),                            kNot,   0,       {},                    kRemote, {},       {}},
        {"its own 7001 by its id, 20 s early",   Span(65 * kSecond),               ownEarly,                                       kFull,  45'000,  {},                    kFirst,  {},       {}},
        {"an earlier log-on in this session id", Span(2 * kHour + 30 * kSecond),   sameIdBefore,                                   kNot,   0,       {},                    kLater,  {},       kWinlogonEvents},
        {"a wake to another user's session",     Span(130 * kSecond, kResume, kHour), wakeToOther,                                 kNot,   0,       {},                    kLater,  {},       kOtherSession},
        {"another session before a step forward",Span(1030 * kSecond),             steppedOther,                                   kNot,   0,       {},                    kLater,  {},       kOtherSession},
        {"a record the System log contradicts",  Span(2 * kHour + 30 * kSecond),   recordAlone,                                    kFull,  7'220'000, {},                  kFirst,  {},       {}},
        {"stamps a moment before the start",     Span(30 * kSecond),               with({kStart - 19 * kMs * 100, kStart - 35 * kMs * 100, false, false, {}, {}}), kFull, 30'000, {}, kFirst, {}, {}},
        {"records of other starts only",         Span(2 * kHour + 30 * kSecond),   otherStarts,                                    kFull,  7'220'000, {},                  kFirst,  {},       {}},
    };
    // clang-format on
}

TEST(ApplySignIn, LeavesTheWaitOutOnlyWhenEveryBoundaryIsKnownAndTellsLaterLogOnsApart) {
    for (const SignInCase& c : Cases()) {
        const StartMeasurement result = ApplySignIn(c.span, c.evidence);
        EXPECT_EQ(result.kind, c.kind) << c.name;
        if (c.kind != StartKind::NotMeasured) {
            EXPECT_EQ(result.durationMs, c.durationMs) << c.name;
        }
        EXPECT_EQ(result.waitIncluded, c.waitIncluded) << c.name;
        EXPECT_EQ(result.logon, c.logon) << c.name;
        EXPECT_EQ(result.firstLogonMs, c.firstLogonMs) << c.name;
        EXPECT_EQ(result.logonEvidence, c.evidenceName) << c.name;
        if (c.kind != StartKind::NotMeasured && c.waitIncluded.empty()) {
            // The three phases add up to the whole span.
            ASSERT_TRUE(result.windowsStartMs && result.signInWaitMs && result.signingInMs) << c.name;
            EXPECT_EQ(*result.windowsStartMs + *result.signInWaitMs + *result.signingInMs,
                      c.span.durationMs)
                << c.name;
        }
    }
}

// Every record the decision can lead to is one its own history takes: each row of the table
// above, and random clock readings and sign-in stamps around it.
TEST(ApplySignIn, EveryRecordItComposesIsOneTheHistoryTakes) {
    std::mt19937_64 random(31);
    const auto upTo = [&](std::uint64_t most) { return random() % (most + 1); };
    std::size_t composed = 0;
    for (const SignInCase& c : Cases()) {
        for (int i = 0; i < 200; ++i) {
            SignInEvidence evidence = c.evidence;
            StartClocks clocks;
            const std::uint64_t shellAt = upTo(2 * kHour);
            const std::uint64_t age = upTo(kHour);
            const std::uint64_t asleep = i % 2 ? upTo(3 * kHour) + 3 * kSecond : 0;
            const std::uint64_t wake = asleep ? asleep + upTo(kHour) : 0;
            clocks.interruptTime = wake + shellAt + age;
            clocks.unbiasedInterruptTime = *clocks.interruptTime - asleep;
            clocks.systemTime = kStart + shellAt + age;
            const bool fits = evidence.session && evidence.session->logonUtc <= clocks.systemTime &&
                              evidence.session->connectUtc <= clocks.systemTime;
            if (i % 3 == 0 || !fits) {
                // Stamps anywhere from hours before the start to the reading.
                const std::uint64_t earliest = kStart - 3 * kHour;
                const std::uint64_t connect = earliest + upTo(3 * kHour + shellAt + age);
                evidence.session = SessionReading{connect, connect + upTo(clocks.systemTime - connect),
                                                  false, i % 5 == 0, 2, {}};
            }
            // The log read after the clocks holds no change after them.
            if (evidence.clockChanges && !evidence.clockChanges->empty() &&
                evidence.clockChanges->front().newUtc > clocks.systemTime) {
                evidence.clockChanges.reset();
            }
            if (i % 4 == 0) {
                const std::int64_t step = static_cast<std::int64_t>(upTo(20 * kSecond)) - 10 * 10'000'000;
                const std::uint64_t at = kStart + upTo(shellAt + age);
                evidence.clockChanges = std::vector<ClockChange>{
                    {at, at, static_cast<std::uint64_t>(static_cast<std::int64_t>(at) + step), 1}};
            }
            const StartMeasurement span = MeasureStart(
                kStart + shellAt, clocks,
                [&] { return std::optional<SuspendTimes>({wake - upTo(kSecond), wake}); },
                evidence.clockChanges);
            const StartMeasurement shown = ApplySignIn(span, evidence);
            if (shown.kind != StartKind::NotMeasured) {
                EXPECT_GE(shown.durationMs, 0) << c.name;
                EXPECT_LE(shown.durationMs, span.durationMs) << c.name;
            }
            const StartRecord record = ComposeStartRecord(shown, L"1.0", L"x64");
            const std::uint64_t written = clocks.systemTime + 2 * kSecond;
            const auto read = ParseStartRecord(record.eventId, written, record.strings);
            ASSERT_TRUE(read) << c.name << " " << i;
            EXPECT_TRUE(PlausibleRecord(*read, written)) << c.name << " " << i << [&] {
                std::string all;
                for (const auto& v : record.strings) all += std::string(v.begin(), v.end()) + "|";
                return all;
            }();
            StartHistory history(written);
            history.Add(record.eventId, written, record.strings);
            EXPECT_EQ(history.LeftOut(), 0u) << c.name << " " << i;
            ++composed;
        }
    }
    EXPECT_GT(composed, 1000u);
}

TEST(DecideStart, ReadsTheNoticeTheConsoleAndTheFirstLockFlag) {
    StartReadings base;
    base.shellProcessId = 7;
    base.shellCreatedUtc = kStart + 60 * kSecond;
    base.selfCreatedUtc = kStart + 70 * kSecond;
    base.clocks = StartClocks{kStart + 80 * kSecond, 80 * kSecond, 0, 80 * kSecond};
    base.evidence.session = Session(20 * kSecond, 40 * kSecond);
    base.ownSessionId = 2;
    base.autoAdminLogon = std::vector<std::wstring>{L"1"};
    const RegistryTexts absent;
    const RegistryTexts empty = std::vector<std::wstring>{};
    const RegistryTexts blank = std::vector<std::wstring>{L""};
    const RegistryTexts banner = std::vector<std::wstring>{L"Authorised use only.", L""};
    struct Case {
        const char* name;
        std::vector<RegistryTexts> notice;  // policy caption, text; Winlogon caption, text
        std::optional<std::uint32_t> glass;
        std::wstring_view waitIncluded;
        LogonKind logon;
    };
    const auto automatic = kAutomaticSignIn;
    // clang-format off
    const Case cases[] = {
        {"no notice: signed in by itself",         {absent, absent, absent, absent}, 2,            automatic, LogonKind::First},
        {"the policy's defaults, empty",           {blank, empty, absent, absent},   2,            automatic, LogonKind::First},
        {"a text as a multi-string",               {blank, banner, absent, absent},  2,            {},        LogonKind::First},
        {"only a caption",                         {banner, empty, absent, absent},  2,            {},        LogonKind::First},
        {"in the older Winlogon key",              {absent, absent, absent, banner}, 2,            {},        LogonKind::First},
        {"the console is another session: remote", {absent, absent, absent, absent}, 1,            {},        LogonKind::Remote},
        {"the console's id unreadable",            {absent, absent, absent, absent}, std::nullopt, automatic, LogonKind::First},
    };
    // clang-format on
    for (const Case& c : cases) {
        StartReadings readings = base;
        readings.legalNotice = c.notice;
        readings.glassSessionId = c.glass;
        const StartMeasurement shown = DecideStart(readings);
        EXPECT_EQ(shown.waitIncluded, c.waitIncluded) << c.name;
        EXPECT_EQ(shown.logon, c.logon) << c.name;
    }
    // Locked by Win+L after the first reading: the wait stays out.
    std::optional<bool> firstLocked;
    StartReadings readings = base;
    readings.autoAdminLogon.reset();
    KeepFirstLock(firstLocked, readings);
    readings.evidence.session->locked = true;
    KeepFirstLock(firstLocked, readings);
    EXPECT_EQ(DecideStart(readings).durationMs, 40'000);
}

TEST(ShellOfThisLogon, TakesTheShellThatRanThisRunOrNone) {
    const std::uint64_t self = kStart + 60 * kSecond;
    const std::uint64_t signedIn = kStart + 30 * kSecond;
    const std::uint64_t parent = kStart + 35 * kSecond;
    // Older than this run and younger than the sign-in: this log-on's.
    EXPECT_EQ(ShellOfThisLogon({kStart + 40 * kSecond, self, 0, signedIn}), kStart + 40 * kSecond);
    // The sign-in unknown (Wine): only the run's own creation bounds it.
    EXPECT_EQ(ShellOfThisLogon({kStart + 10 * kSecond, self, 0, 0}), kStart + 10 * kSecond);
    // Restarted after this run began, or left from before the sign-in: the parent, else none.
    EXPECT_EQ(ShellOfThisLogon({self + kHour, self, parent, signedIn}), parent);
    EXPECT_EQ(ShellOfThisLogon({kStart + 10 * kSecond, self, parent, signedIn}), parent);
    EXPECT_EQ(ShellOfThisLogon({self + kHour, self, 0, signedIn}), std::nullopt);
    // A moment after this run's creation (Wine's desktop): still this log-on's.
    EXPECT_EQ(ShellOfThisLogon({self + 3 * kSecond, self, 0, signedIn}), self + 3 * kSecond);
}

TEST(SameStart, OneStartAcrossClockAdjustmentsTwoAcrossARestart) {
    EXPECT_TRUE(SameStart({kStart, 0}, {kStart + 19 * kSecond, 0}));
    EXPECT_TRUE(SameStart({kStart + 19 * kSecond, 0}, {kStart, 0}));
    EXPECT_FALSE(SameStart({kStart, 0}, {kStart + 25 * kSecond, 0}));
    EXPECT_FALSE(SameStart({kStart, kHour}, {kStart, 0}));
    EXPECT_FALSE(SameStart({0, 0}, {0, 0}));
}

TEST(ReplacesShown, KeepsTheNumberAgainstJitterAndALaterRestart) {
    StartMeasurement shown = Span(60 * kSecond);
    StartMeasurement jitter = Span(60 * kSecond + kMs);
    EXPECT_FALSE(ReplacesShown(shown, jitter));
    StartMeasurement later = ApplySignIn(jitter, [] {
        SignInEvidence evidence;
        evidence.session = Session(2 * kHour, 2 * kHour + 10 * kSecond);
        evidence.otherSessionLogons = std::vector<std::uint64_t>{kStart + 40 * kSecond};
        return evidence;
    }());
    EXPECT_TRUE(ReplacesShown(shown, later));
    EXPECT_FALSE(ReplacesShown(shown, StartMeasurement::NotMeasured(kShellRestarted)));
    EXPECT_TRUE(ReplacesShown(StartMeasurement::NotMeasured(kNoShell), shown));
}

}  // namespace
}  // namespace vossel
