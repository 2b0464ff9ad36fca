#include "diagnose/diagnose_report.h"

#include <string_view>

#include "start/start_record.h"

namespace vossel {
namespace {

constexpr std::uint64_t kTicksPerMinute = 600'000'000;

class Report {
  public:
    explicit Report(const LocalOffset& offset) : offset_(offset) {}

    void Heading(std::wstring_view title) { text_ += L"\r\n[" + std::wstring(title) + L"]\r\n"; }
    void Line(std::wstring_view name, std::wstring_view value) {
        text_ += L"  " + std::wstring(name) + L": " + std::wstring(value) + L"\r\n";
    }
    // UTC and local time; 0 is unknown.
    void Instant(std::wstring_view name, std::uint64_t utc) { Line(name, InstantText(utc)); }
    void Count(std::wstring_view name, const std::optional<std::uint64_t>& ticks) {
        Line(name,
             ticks ? std::to_wstring(*ticks) + L" (100 ns), " + Seconds(*ticks) : L"not read");
    }
    void Milliseconds(std::wstring_view name, const std::optional<std::int64_t>& ms) {
        Line(name, ms ? std::to_wstring(*ms) + L" ms" : L"not known");
    }
    // A source that gives a list: its count and a line for each, or that it was not read.
    template <typename Item, typename Describe>
    void List(std::wstring_view name, const std::optional<std::vector<Item>>& items,
              Describe describe) {
        if (!items) {
            Line(name, L"not read");
            return;
        }
        Line(name, std::to_wstring(items->size()));
        for (const Item& item : *items) describe(item);
    }
    std::wstring InstantText(std::uint64_t utc) const {
        if (utc == 0) return L"not known";
        std::wstring text = UtcText(utc);
        const std::optional<int> minutes = offset_ ? offset_(utc) : std::nullopt;
        if (!minutes) return text + L" (local time not known)";
        const std::int64_t shifted =
            static_cast<std::int64_t>(utc) + std::int64_t{*minutes} * std::int64_t{kTicksPerMinute};
        std::wstring local = UtcText(static_cast<std::uint64_t>(shifted));
        if (!local.empty() && local.back() == L'Z') local.pop_back();
        const int absolute = *minutes < 0 ? -*minutes : *minutes;
        wchar_t zone[16] = {};
        swprintf(zone, 16, L"UTC%lc%02d:%02d", *minutes < 0 ? L'-' : L'+', absolute / 60,
                 absolute % 60);
        return text + L" = " + local + L" local (" + zone + L")";
    }
    static std::wstring Seconds(std::uint64_t ticks) {
        wchar_t text[32] = {};
        swprintf(text, 32, L"%.3f s", static_cast<double>(ticks) / 1e7);
        return text;
    }
    std::wstring Take() { return std::move(text_); }

  private:
    const LocalOffset& offset_;
    std::wstring text_;
};

std::wstring Texts(const RegistryTexts& value) {
    if (!value) return L"not set (absent, unreadable or not a string)";
    if (value->empty()) return L"empty multi-string";
    std::wstring joined;
    for (const std::wstring& text : *value) {
        if (!joined.empty()) joined += L" | ";
        joined += L"\"" + text + L"\"";
    }
    return joined;
}

std::wstring_view KindText(StartKind kind) {
    switch (kind) {
        case StartKind::FullBoot:
            return L"full boot";
        case StartKind::Resume:
            return L"resume";
        default:
            return L"not measured";
    }
}

std::wstring_view LogonText(LogonKind kind) {
    switch (kind) {
        case LogonKind::Later:
            return L"later log-on";
        case LogonKind::Remote:
            return L"remote session";
        default:
            return L"first log-on";
    }
}

std::wstring IdText(const std::optional<std::uint32_t>& id) {
    return id ? std::to_wstring(*id) : L"not read";
}

// Some readers answer nothing without a reason: no code is shown for those.
std::wstring FailureText(const SourceFailure& failure) {
    if (failure.code == 0) return failure.message;
    return L"error " + std::to_wstring(failure.code) +
           (failure.message.empty() ? L"" : L": " + failure.message);
}

constexpr std::uint32_t kAccessDenied = 5;         // ERROR_ACCESS_DENIED
constexpr std::uint32_t kChannelNotFound = 15007;  // ERROR_EVT_CHANNEL_NOT_FOUND

std::wstring SignedMs(std::int64_t ms) {
    return (ms > 0 ? L"+" : L"") + std::to_wstring(ms) + L" ms";
}

// One of Windows' durations beside Vossel's, the difference being Vossel's less Windows'.
void Compare(Report& report, std::wstring_view name, const std::optional<std::int64_t>& windows,
             const std::optional<std::int64_t>& vossel) {
    if (!windows || !vossel) {
        report.Line(name, L"not compared (" + std::wstring(windows ? L"Vossel's" : L"Windows'") +
                              L" not known)");
        return;
    }
    report.Line(name, L"Windows " + std::to_wstring(*windows) + L" ms, Vossel " +
                          std::to_wstring(*vossel) + L" ms, difference " +
                          SignedMs(*vossel - *windows));
}

void WriteBootDiagnostics(Report& report, const DiagnoseReadings& readings) {
    const BootDiagnostics& boot = readings.bootDiagnostics;
    const StartMeasurement& decision = readings.decision;
    report.Heading(L"Windows' boot diagnostics (Diagnostics-Performance event 100)");
    if (!boot.read) {
        report.Line(L"event 100", L"not read: " + FailureText(boot.failure));
        if (boot.failure.code == kAccessDenied) {
            report.Line(L"to read it",
                        L"run it elevated: in a command prompt or PowerShell opened with \"Run as "
                        L"administrator\", Vossel.exe /diagnose > report.txt");
        } else if (boot.failure.code == kChannelNotFound) {
            report.Line(L"to read it", L"this edition of Windows has no such log");
        }
        return;
    }
    report.Line(L"events read", std::to_wstring(boot.events.size()));
    const BootDiagnosticsEvent* event = MatchBootEvent(boot, decision);
    if (!event) {
        report.Line(L"event 100",
                    decision.kind == StartKind::Resume
                        ? L"no event for this start (a wake; the event describes boots)"
                    : decision.startUtc == 0
                        ? L"not matched (the start is not known)"
                        : L"no event for this start (Windows writes it some minutes after the "
                          L"boot, and not for every boot)");
        return;
    }
    report.Instant(L"written", event->writtenUtc);
    report.Instant(L"BootStartTime", event->bootStartUtc);
    report.Milliseconds(L"BootTime", event->bootTimeMs);
    report.Milliseconds(L"MainPathBootTime", event->mainPathBootTimeMs);
    report.Milliseconds(L"BootPostBootTime", event->bootPostBootTimeMs);
    report.Milliseconds(L"UserLogonWaitDuration", event->userLogonWaitMs);
    std::optional<std::int64_t> span;
    if (decision.startUtc && decision.shellCreatedUtc >= decision.startUtc) {
        span = static_cast<std::int64_t>((decision.shellCreatedUtc - decision.startUtc) / 10'000);
    }
    std::optional<std::int64_t> mainPathWithoutWait;
    if (event->mainPathBootTimeMs && event->userLogonWaitMs) {
        mainPathWithoutWait = *event->mainPathBootTimeMs - *event->userLogonWaitMs;
    }
    Compare(report, L"start to the shell (MainPathBootTime)", event->mainPathBootTimeMs, span);
    Compare(report, L"at the sign-in screen (UserLogonWaitDuration)", event->userLogonWaitMs,
            decision.signInWaitMs);
    Compare(report, L"without the wait (MainPathBootTime - UserLogonWaitDuration)",
            mainPathWithoutWait,
            decision.kind == StartKind::NotMeasured || !decision.waitIncluded.empty()
                ? std::nullopt
                : std::optional<std::int64_t>(decision.durationMs));
}

}  // namespace

const BootDiagnosticsEvent* MatchBootEvent(const BootDiagnostics& diagnostics,
                                           const StartMeasurement& decision) {
    if (decision.kind == StartKind::Resume || decision.startUtc == 0) return nullptr;
    const BootDiagnosticsEvent* nearest = nullptr;
    std::uint64_t nearestGap = kBootEventMatch + 1;
    const BootDiagnosticsEvent* firstAfter = nullptr;
    for (const BootDiagnosticsEvent& event : diagnostics.events) {
        if (event.bootStartUtc != 0) {
            const std::uint64_t gap = event.bootStartUtc > decision.startUtc
                                          ? event.bootStartUtc - decision.startUtc
                                          : decision.startUtc - event.bootStartUtc;
            if (gap < nearestGap) {
                nearest = &event;
                nearestGap = gap;
            }
        } else if (event.writtenUtc > decision.startUtc) {
            firstAfter = &event;  // newest first: the last one seen was written first
        }
    }
    return nearest ? nearest : firstAfter;
}

std::wstring ComposeDiagnoseReport(const DiagnoseReadings& readings, const LocalOffset& offset) {
    Report report(offset);
    const StartReadings& start = readings.start;
    const SignInEvidence& evidence = start.evidence;
    std::wstring text = L"Vossel diagnostics\r\n";
    report.Heading(L"program");
    report.Line(L"version", readings.version);
    report.Line(L"architecture", readings.architecture);

    report.Heading(L"clocks");
    if (start.clocks) {
        report.Instant(L"system time", start.clocks->systemTime);
        report.Count(L"interrupt time", start.clocks->interruptTime);
        report.Count(L"unbiased interrupt time", start.clocks->unbiasedInterruptTime);
        report.Line(L"tick count", start.clocks->interruptTime
                                       ? L"not used (the interrupt time was read)"
                                       : std::to_wstring(start.clocks->tickCountMs) + L" ms");
    } else {
        report.Line(L"readings", L"not taken (no shell of this log-on)");
    }
    if (start.suspendTimes) {
        report.Count(L"last sleep (interrupt time)", start.suspendTimes->lastSleep);
        report.Count(L"last wake (interrupt time)", start.suspendTimes->lastWake);
    } else {
        report.Line(L"last sleep and wake",
                    L"not read (not suspended since the start, or refused)");
    }

    report.Heading(L"sessions");
    report.Line(L"this process's session id", IdText(start.ownSessionId));
    report.Line(L"GlassSessionId", IdText(start.glassSessionId));
    report.Line(L"SM_REMOTESESSION", start.remoteMetric ? L"1" : L"0");
    if (evidence.session) {
        report.Instant(L"this session's connect time", evidence.session->connectUtc);
        report.Instant(L"this session's log-on time", evidence.session->logonUtc);
        report.Line(L"this session's state", evidence.session->locked ? L"locked" : L"not locked");
        report.Line(L"user SID",
                    evidence.session->userSid.empty() ? L"not read" : evidence.session->userSid);
    } else {
        report.Line(L"this session", L"not read");
    }
    report.Instant(L"LSA log-on time of the shell", evidence.lsaLogonUtc);
    report.List(L"other signed-in sessions", evidence.otherSessionLogons,
                [&](std::uint64_t logon) { report.Instant(L"  log-on time", logon); });

    report.Heading(L"settings");
    report.Line(L"AutoAdminLogon", Texts(start.autoAdminLogon));
    static constexpr std::wstring_view kNoticeNames[] = {
        L"policy LegalNoticeCaption", L"policy LegalNoticeText", L"Winlogon LegalNoticeCaption",
        L"Winlogon LegalNoticeText"};
    for (size_t i = 0; i < start.legalNotice.size() && i < 4; ++i) {
        report.Line(kNoticeNames[i], Texts(start.legalNotice[i]));
    }
    if (start.legalNotice.empty()) report.Line(L"legal notice", L"not read (no sign-in instant)");

    report.Heading(L"System log");
    report.List(L"clock changes since the start", evidence.clockChanges,
                [&](const ClockChange& change) {
                    report.Line(L"  change", L"reason " + std::to_wstring(change.reason) +
                                                 L", old " + report.InstantText(change.oldUtc) +
                                                 L", new " + report.InstantText(change.newUtc));
                });
    report.List(L"Winlogon 7001/7002 since the start", evidence.winlogonEvents,
                [&](const WinlogonNotice& notice) {
                    report.Line(L"  " + std::to_wstring(notice.eventId),
                                report.InstantText(notice.atUtc) + L", TSId " +
                                    IdText(notice.sessionId) + L", UserSid " +
                                    (notice.userSid.empty() ? L"none" : notice.userSid));
                });

    report.Heading(L"shell");
    report.Line(L"shell window owner (process id)",
                start.shellProcessId ? std::to_wstring(start.shellProcessId) : L"none found");
    report.Instant(L"its creation", start.shellCreatedUtc.value_or(0));
    report.Instant(L"Vossel's own creation", start.selfCreatedUtc);
    report.Line(L"parent Explorer", start.parentShellRead ? L"asked" : L"not needed");
    if (start.parentShellRead) report.Instant(L"parent Explorer's creation", start.parentShellUtc);

    report.Heading(L"Vossel's records of this start");
    report.List(L"plausible first log-on records", evidence.firstLogonRecords,
                [&](const RecordedLogon& logon) {
                    report.Line(L"  record", std::to_wstring(logon.durationMs) + L" ms, start " +
                                                 report.InstantText(logon.start.startUtc) +
                                                 L", signed in " +
                                                 report.InstantText(logon.signedInUtc));
                });

    const StartMeasurement& decision = readings.decision;
    report.Heading(L"decision");
    report.Line(L"kind", KindText(decision.kind));
    if (!decision.reason.empty()) report.Line(L"reason", decision.reason);
    report.Line(L"log-on", LogonText(decision.logon));
    if (!decision.logonEvidence.empty()) report.Line(L"told apart by", decision.logonEvidence);
    report.Instant(L"start", decision.startUtc);
    report.Line(L"start's place on the interrupt clock", std::to_wstring(decision.startPlace));
    report.Instant(L"shell created", decision.shellCreatedUtc);
    report.Instant(L"sign-in screen", decision.signInScreenUtc);
    report.Instant(L"signed in", decision.signedInUtc);
    report.Milliseconds(L"Windows start", decision.windowsStartMs);
    report.Milliseconds(L"at the sign-in screen", decision.signInWaitMs);
    report.Milliseconds(L"signing in", decision.signingInMs);
    report.Line(L"the wait", decision.kind == StartKind::NotMeasured ? std::wstring(L"-")
                             : decision.waitIncluded.empty()
                                 ? std::wstring(L"excluded")
                                 : L"included: " + std::wstring(decision.waitIncluded));
    if (decision.kind != StartKind::NotMeasured) {
        report.Milliseconds(L"the number", decision.durationMs);
    }
    report.Line(L"caption", StartCaption(decision, L"."));

    WriteBootDiagnostics(report, readings);

    report.Heading(L"sources that could not be read");
    if (readings.failures.empty()) report.Line(L"none", L"every source answered");
    for (const SourceFailure& failure : readings.failures) {
        report.Line(failure.source, FailureText(failure));
    }
    return text + report.Take();
}

}  // namespace vossel
