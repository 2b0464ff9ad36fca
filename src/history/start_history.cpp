#include "history/start_history.h"

#include <algorithm>
#include <initializer_list>
#include <numeric>

#include "history/startup_history.h"
#include "platform/number_text.h"
#include "resource_ids.h"
#include "start/start_measurement.h"
#include "start/start_record_format.h"

namespace vossel {
namespace {

constexpr std::uint64_t kTicksPerMs = 10'000;
constexpr auto kSameStartToleranceMs = static_cast<std::int64_t>(kSameStartTolerance / kTicksPerMs);
bool Near(std::int64_t a, std::int64_t b, std::int64_t tolerance) {
    return (a > b ? a - b : b - a) <= tolerance;
}

RecordedKind KindOf(StartKind kind) {
    switch (kind) {
        case StartKind::FullBoot:
            return RecordedKind::FullBoot;
        case StartKind::Resume:
            return RecordedKind::Resume;
        case StartKind::NotMeasured:
            break;
    }
    return RecordedKind::NotMeasured;
}

RecordedStart FromRecord(const ReadStartRecord& record) {
    RecordedStart start;
    start.kind = KindOf(record.kind);
    start.format = record.format;
    start.recordTime = record.recordTime;
    start.identity = {record.startUtc, record.startPlace};
    start.time = record.startUtc != 0 ? record.startUtc : record.recordTime;
    start.durationMs = record.durationMs;
    start.reason = record.reason;
    start.windowsStartMs = record.windowsStartMs;
    start.signInWaitMs = record.signInWaitMs;
    start.signingInMs = record.signingInMs;
    start.waitIncluded = record.format < 2 || record.waitIncluded;
    return start;
}

// newer was written after older, and both name one start. A format-1 record of a later log-on
// carries the hours since the start, never less than the first log-on's number.
bool Agree(const RecordedStart& newer, const RecordedStart& older) {
    if (newer.kind != older.kind) return false;
    if (!newer.Measured()) return true;
    if (newer.format == 1) return newer.durationMs >= older.durationMs - kSameStartToleranceMs;
    return Near(newer.durationMs, older.durationMs, kSameStartToleranceMs);
}

std::wstring Seconds(const std::optional<std::int64_t>& ms, std::wstring_view decimalSeparator) {
    return ms ? SecondsText(*ms, decimalSeparator) : std::wstring();
}

}  // namespace

bool StartHistory::Add(std::uint32_t eventId, std::uint64_t systemTime,
                       const std::vector<std::wstring>& values) {
    if (full_ || examined_ >= kMaxRecordsExamined) return false;
    ++examined_;
    if (eventId == kEventStartupPrograms) {
        std::optional<ReadStartupRecord> startup = ParseStartupRecord(eventId, systemTime, values);
        if (startup && PlausibleStartupRecord(*startup, nowUtc_)) {
            startupReports_.push_back(std::move(startup->report));
        } else {
            ++leftOut_;
        }
        return examined_ < kMaxRecordsExamined;
    }
    const std::optional<ReadStartRecord> record = ParseStartRecord(eventId, systemTime, values);
    if (!record || !PlausibleRecord(*record, nowUtc_)) {
        ++leftOut_;
    } else if (record->logon != LogonKind::First) {
        if (record->startUtc != 0) laterLogons_.push_back({record->startUtc, record->startPlace});
    } else {
        AddStart(FromRecord(*record));
    }
    return !full_ && examined_ < kMaxRecordsExamined;
}

void StartHistory::AddStart(RecordedStart start) {
    if (start.identity.startUtc != 0) {
        bool sameStart = false;
        for (RecordedStart& known : starts_) {
            if (!SameStart(known.identity, start.identity)) continue;
            sameStart = true;
            if (!Agree(known, start)) continue;
            // The older record is the first log-on's: it stays, whatever the newer one says.
            start.laterLogons = known.laterLogons + (known.format == 1 && known.Measured() ? 1 : 0);
            start.conflict = known.conflict;
            known = std::move(start);
            return;
        }
        if (sameStart) {
            for (RecordedStart& known : starts_) {
                if (SameStart(known.identity, start.identity)) known.conflict = true;
            }
            start.conflict = true;
        }
    }
    if (starts_.size() >= kMaxStarts) {
        // The records are newest first: every start already held is complete.
        full_ = true;
        return;
    }
    starts_.push_back(std::move(start));
}

std::vector<RecordedStart> StartHistory::Starts() const {
    std::vector<RecordedStart> starts = starts_;
    for (const StartIdentity& logon : laterLogons_) {
        const auto own = std::find_if(starts.begin(), starts.end(), [&](const RecordedStart& s) {
            return SameStart(s.identity, logon);
        });
        if (own != starts.end()) ++own->laterLogons;
    }
    // Oldest last: the first record written of a start's programs stands.
    for (const StartupReport& report : startupReports_) {
        for (RecordedStart& start : starts) {
            if (SameStart(start.identity, report.start)) start.startup = report;
        }
    }
    std::stable_sort(
        starts.begin(), starts.end(),
        [](const RecordedStart& a, const RecordedStart& b) { return a.time > b.time; });
    return starts;
}

std::optional<std::int64_t> MedianMs(std::vector<std::int64_t> durations) {
    if (durations.empty()) return std::nullopt;
    const std::size_t middle = durations.size() / 2;
    std::nth_element(durations.begin(), durations.begin() + middle, durations.end());
    const std::int64_t upper = durations[middle];
    if (durations.size() % 2 != 0) return upper;
    const std::int64_t lower = *std::max_element(durations.begin(), durations.begin() + middle);
    return std::midpoint(lower, upper);
}

std::wstring SecondsText(std::int64_t milliseconds, std::wstring_view decimalSeparator) {
    const bool negative = milliseconds < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(milliseconds)
                                             : static_cast<std::uint64_t>(milliseconds);
    const std::uint64_t tenths = (magnitude + 50) / 100;
    std::wstring text = negative && tenths != 0 ? L"-" : L"";
    text += platform::NumberText(tenths / 10);
    text += decimalSeparator;
    text += platform::NumberText(tenths % 10);
    return text;
}

std::wstring HistorySummary(const std::vector<RecordedStart>& starts,
                            std::wstring_view decimalSeparator, const platform::TextLookup& texts) {
    // Records that name one start and disagree are rows of their own, and one start: it counts
    // once, with its first-written record's number.
    std::vector<std::int64_t> durations;
    std::size_t count = 0;
    for (const RecordedStart& start : starts) {
        const bool counted =
            start.conflict &&
            std::any_of(starts.begin(), starts.end(), [&](const RecordedStart& other) {
                return &other != &start && SameStart(other.identity, start.identity) &&
                       (other.recordTime < start.recordTime ||
                        (other.recordTime == start.recordTime && &other < &start));
            });
        if (counted) continue;
        ++count;
        if (start.Measured()) durations.push_back(start.durationMs);
    }
    const auto figure = [&](std::optional<std::int64_t> ms) {
        return ms ? SecondsText(*ms, decimalSeparator) : std::wstring(L"--");
    };
    std::optional<std::int64_t> fastest;
    std::optional<std::int64_t> slowest;
    if (!durations.empty()) {
        fastest = *std::min_element(durations.begin(), durations.end());
        slowest = *std::max_element(durations.begin(), durations.end());
    }
    return platform::FillIn(texts, IDS_HISTORY_SUMMARY,
                            {platform::NumberText(count), figure(MedianMs(durations)),
                             figure(fastest), figure(slowest)});
}

std::wstring LeftOutText(std::size_t leftOut, const platform::TextLookup& texts) {
    if (leftOut == 0) return {};
    return platform::FillIn(texts, IDS_HISTORY_LEFT_OUT, {platform::NumberText(leftOut)});
}

std::vector<std::wstring> HistoryColumns(const platform::TextLookup& texts) {
    return {texts(IDS_COLUMN_TIME),      texts(IDS_COLUMN_SECONDS), texts(IDS_PHASE_WINDOWS_START),
            texts(IDS_PHASE_SIGNING_IN), texts(IDS_COLUMN_WAIT),    texts(IDS_COLUMN_KIND)};
}

namespace {

// A reason the program writes, in the user's language; any other (a later version's, or a forged
// record's) as the record has it.
std::wstring ReasonText(std::wstring_view reason, const platform::TextLookup& texts) {
    struct Known {
        std::wstring_view word;
        int id;
    };
    static constexpr Known kKnown[] = {
        {kNoShell, IDS_REASON_NO_SHELL},
        {kShellNotReadable, IDS_REASON_SHELL_NOT_READABLE},
        {kSleptAfterSignIn, IDS_REASON_SLEPT_AFTER_SIGN_IN},
        {kNoWakeTime, IDS_REASON_NO_WAKE_TIME},
        {kClock, IDS_REASON_CLOCK},
        {kShellBeforeStart, IDS_REASON_SHELL_BEFORE_START},
        {kShellRestarted, IDS_REASON_SHELL_RESTARTED},
        {kLaterLogon, IDS_REASON_LATER_LOGON},
        {kRemoteSession, IDS_REASON_REMOTE_SESSION},
        {kNoPaint, IDS_REASON_NO_PAINT},
    };
    for (const Known& known : kKnown) {
        if (known.word == reason) return texts(known.id);
    }
    return std::wstring(reason);
}

}  // namespace

std::vector<std::wstring> StartColumns(const RecordedStart& start,
                                       std::wstring_view decimalSeparator,
                                       const platform::TextLookup& texts) {
    std::wstring wait = Seconds(start.signInWaitMs, decimalSeparator);
    if (start.Measured() && start.waitIncluded) {
        wait = wait.empty() ? texts(IDS_WAIT_INCLUDED)
                            : platform::FillIn(texts, IDS_WAIT_INCLUDED_VALUE, {wait});
    }
    std::wstring kind;
    switch (start.kind) {
        case RecordedKind::FullBoot:
            kind = texts(IDS_KIND_FULL_BOOT);
            break;
        case RecordedKind::Resume:
            kind = texts(IDS_KIND_RESUME);
            break;
        case RecordedKind::NotMeasured:
            kind = platform::FillIn(texts, IDS_KIND_NOT_MEASURED, {ReasonText(start.reason, texts)});
            break;
    }
    if (start.laterLogons > 0) {
        kind = platform::FillIn(texts, IDS_KIND_LATER_LOGONS,
                                {kind, platform::NumberText(start.laterLogons)});
    }
    if (start.conflict) kind = platform::FillIn(texts, IDS_KIND_CONFLICT, {kind});
    return {start.Measured() ? SecondsText(start.durationMs, decimalSeparator) : L"--",
            Seconds(start.windowsStartMs, decimalSeparator),
            Seconds(start.signingInMs, decimalSeparator), std::move(wait), std::move(kind)};
}

std::wstring TabSeparated(const std::vector<std::wstring>& header,
                          const std::vector<std::vector<std::wstring>>& rows) {
    std::wstring text;
    const auto line = [&text](const std::vector<std::wstring>& cells) {
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i != 0) text += L'\t';
            // A tab or line break inside a cell would split it.
            for (wchar_t c : cells[i]) text += c == L'\t' || c == L'\r' || c == L'\n' ? L' ' : c;
        }
        text += L"\r\n";
    };
    line(header);
    for (const auto& row : rows) line(row);
    return text;
}

}  // namespace vossel
