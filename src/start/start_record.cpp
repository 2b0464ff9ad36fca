#include "start/start_record.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "start/sign_in.h"

#include "platform/number_text.h"
#include "start/start_record_format.h"

namespace vossel {
namespace {

constexpr std::uint64_t kTicksPerMs = 10'000;
constexpr std::uint64_t kMsPerDay = 86'400'000;
// Days from 1601-01-01, where FILETIMEs count from, to 1970-01-01.
constexpr std::int64_t kFiletimeEpochToUnixDays = 134'774;

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
// Days from 1601-01-01, the FILETIME epoch, to 1970-01-01.
constexpr std::int64_t kEpochDays1601 = -134774;

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// The digits at text[at, at + count) as a number; nothing when any is not an ASCII digit.
std::optional<unsigned> Digits(std::wstring_view text, std::size_t at, std::size_t count) {
    unsigned value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < L'0' || text[i] > L'9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(text[i] - L'0');
    }
    return value;
}

// Whole milliseconds as written by the recorder: ASCII digits, a leading minus where negative.
std::optional<std::int64_t> ParseMilliseconds(std::wstring_view text) {
    const bool negative = !text.empty() && text[0] == L'-';
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > 18) return std::nullopt;
    std::int64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
    }
    return negative ? -value : value;
}

std::wstring OptionalMs(const std::optional<std::int64_t>& ms) {
    return ms ? platform::NumberText(*ms) : std::wstring();
}

std::wstring_view LogonText(LogonKind logon) {
    switch (logon) {
        case LogonKind::Later:
            return kLogonLater;
        case LogonKind::Remote:
            return kLogonRemote;
        case LogonKind::First:
            break;
    }
    return kLogonFirst;
}

// An empty text is nothing; anything else must be whole milliseconds.
bool ParseOptionalMs(const std::wstring& text, std::optional<std::int64_t>& into) {
    if (text.empty()) return true;
    into = ParseMilliseconds(text);
    return into.has_value();
}

bool ParseOptionalInstant(const std::wstring& text, std::uint64_t& into) {
    if (text.empty()) return true;
    const auto instant = ParseUtcInstant(text);
    into = instant.value_or(0);
    // 1601-01-01T00:00:00.000Z would read as 0, which stands for "not given".
    return instant.has_value() && *instant != 0;
}

constexpr std::uint64_t kTicksPerMsSigned = kTicksPerMs;
// 1980-01-01T00:00:00Z: no PC that runs this program started before it.
constexpr std::uint64_t kEarliestStart = 119'600'064'000'000'000ULL;
// Each phase is floored to the millisecond, and one that the stamps' order put a moment below
// zero counts as 0: the phases add up to the span only within this.
constexpr std::int64_t kPhaseSumToleranceMs = 3'000;
// Reasons are tokens such as "no shell"; a longer or unprintable one is not ours.
constexpr std::size_t kMaxReasonLength = 64;

bool InRange(const std::optional<std::int64_t>& ms, std::int64_t max) {
    return !ms || (*ms >= 0 && *ms <= max);
}

bool Near(std::int64_t a, std::int64_t b, std::int64_t tolerance) {
    return (a > b ? a - b : b - a) <= tolerance;
}

bool ShortToken(const std::wstring& text) {
    return !text.empty() && text.size() <= kMaxReasonLength &&
           std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= 0x20 && c < 0x7F; });
}

}  // namespace

bool PlausibleRecord(const ReadStartRecord& record, std::uint64_t nowUtc) {
    // Every instant below is a parsed one, before the year 10000: far from overflowing.
    if (record.recordTime < kEarliestStart || record.recordTime > nowUtc + kRecordTimeAhead) {
        return false;
    }
    if (record.startUtc != 0 && record.startUtc < kEarliestStart) return false;
    const std::uint64_t written = record.recordTime + kSameStartTolerance;
    const bool waitExcluded = record.format >= 2 && !record.waitIncluded;
    for (std::uint64_t instant :
         {record.startUtc, record.shellCreatedUtc, record.signInScreenUtc, record.signedInUtc}) {
        if (instant > written) return false;
    }
    // The session's stamps lie before the start where that is why the wait is in (a wake with the
    // user signed in); the shell, and the phases of a number without the wait, never do.
    for (std::uint64_t instant : {record.shellCreatedUtc, waitExcluded ? record.signInScreenUtc : 0,
                                  waitExcluded ? record.signedInUtc : 0}) {
        if (instant != 0 && record.startUtc != 0 &&
            instant + kSameStartTolerance < record.startUtc) {
            return false;
        }
    }
    if (!InRange(record.windowsStartMs, kMaxStartWorkMs) ||
        !InRange(record.signingInMs, kMaxStartWorkMs) ||
        !InRange(record.signInWaitMs, kMaxSignInWaitMs)) {
        return false;
    }
    if (!record.Measured()) return ShortToken(record.reason);

    const std::int64_t limit = waitExcluded ? kMaxStartWorkMs : kMaxStartWorkMs + kMaxSignInWaitMs;
    if (record.durationMs < 0 || record.durationMs > limit) return false;
    if (record.format >= 2 && (record.kind == StartKind::FullBoot) != (record.startPlace == 0)) {
        return false;
    }
    // From here on every value is bounded: sums and differences stay far inside int64.
    const bool allPhases = record.windowsStartMs && record.signInWaitMs && record.signingInMs;
    const std::int64_t phaseSum =
        allPhases ? *record.windowsStartMs + *record.signInWaitMs + *record.signingInMs : 0;
    if (waitExcluded && !Near(record.durationMs, *record.windowsStartMs + *record.signingInMs,
                              kPhaseSumToleranceMs)) {
        return false;
    }
    if (record.shellCreatedUtc != 0) {
        const std::int64_t spanMs = (static_cast<std::int64_t>(record.shellCreatedUtc) -
                                     static_cast<std::int64_t>(record.startUtc)) /
                                    static_cast<std::int64_t>(kTicksPerMsSigned);
        if (!waitExcluded && !Near(spanMs, record.durationMs, kPhaseSumToleranceMs)) return false;
        if (allPhases && !Near(spanMs, phaseSum, kPhaseSumToleranceMs)) return false;
    } else if (allPhases && !waitExcluded &&
               !Near(record.durationMs, phaseSum, kPhaseSumToleranceMs)) {
        return false;
    }
    return true;
}

std::optional<std::uint64_t> ParseUtcInstant(std::wstring_view text) {
    // 2026-12-08T07:59:12.345Z
    if (text.size() != 24 || text[4] != L'-' || text[7] != L'-' || text[10] != L'T' ||
        text[13] != L':' || text[16] != L':' || text[19] != L'.' || text[23] != L'Z') {
        return std::nullopt;
    }
    const auto year = Digits(text, 0, 4);
    const auto month = Digits(text, 5, 2);
    const auto day = Digits(text, 8, 2);
    const auto hour = Digits(text, 11, 2);
    const auto minute = Digits(text, 14, 2);
    const auto second = Digits(text, 17, 2);
    const auto ms = Digits(text, 20, 3);
    if (!year || !month || !day || !hour || !minute || !second || !ms) return std::nullopt;
    if (*year < 1601 || *month < 1 || *month > 12 || *day < 1 ||
        *day > DaysInMonth(*year, *month) || *hour > 23 || *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    const auto days =
        static_cast<std::uint64_t>(DaysFromCivil(*year, *month, *day) - kEpochDays1601);
    const std::uint64_t seconds = days * 86400 + *hour * 3600 + *minute * 60 + *second;
    return seconds * kTicksPerSecond + *ms * kTicksPerMs;
}

std::wstring UtcText(std::uint64_t filetime) {
    if (filetime == 0) return {};
    const std::uint64_t totalMs = filetime / kTicksPerMs;
    const auto days = static_cast<std::int64_t>(totalMs / kMsPerDay);
    std::uint64_t msOfDay = totalMs % kMsPerDay;
    const std::chrono::year_month_day date{
        std::chrono::sys_days{std::chrono::days{days - kFiletimeEpochToUnixDays}}};
    const unsigned ms = static_cast<unsigned>(msOfDay % 1000);
    msOfDay /= 1000;
    const unsigned second = static_cast<unsigned>(msOfDay % 60);
    msOfDay /= 60;
    const unsigned minute = static_cast<unsigned>(msOfDay % 60);
    const unsigned hour = static_cast<unsigned>(msOfDay / 60);
    using platform::NumberText;
    return NumberText(static_cast<int>(date.year()), 4) + L'-' +
           NumberText(static_cast<unsigned>(date.month()), 2) + L'-' +
           NumberText(static_cast<unsigned>(date.day()), 2) + L'T' + NumberText(hour, 2) + L':' +
           NumberText(minute, 2) + L':' + NumberText(second, 2) + L'.' + NumberText(ms, 3) + L'Z';
}

StartRecord ComposeStartRecord(const StartMeasurement& measurement, std::wstring_view version,
                               std::wstring_view architecture) {
    using Field = StartRecordField;
    using platform::NumberText;
    StartRecord record;
    record.strings.resize(Field::kCount);
    record.strings[Field::kFormat] = std::wstring(kRecordFormat);
    switch (measurement.kind) {
        case StartKind::FullBoot:
            record.eventId = kEventFullBoot;
            record.strings[Field::kKind] = std::wstring(kKindFullBoot);
            break;
        case StartKind::Resume:
            record.eventId = kEventResume;
            record.strings[Field::kKind] = std::wstring(kKindResume);
            break;
        case StartKind::NotMeasured:
            record.eventId = kEventNotMeasured;
            record.strings[Field::kKind] = std::wstring(kKindNotMeasured);
            record.strings[Field::kReason] = std::wstring(measurement.reason);
            break;
    }
    if (measurement.kind != StartKind::NotMeasured) {
        // Never the locale's formatting: readers parse the digits with invariant rules.
        record.strings[Field::kDurationMs] = NumberText(measurement.durationMs);
    }
    // A later log-on measured nothing of its own, and still names its start.
    record.strings[Field::kStartUtc] = UtcText(measurement.startUtc);
    record.strings[Field::kShellCreatedUtc] = UtcText(measurement.shellCreatedUtc);
    record.strings[Field::kVersion] = std::wstring(version);
    record.strings[Field::kArchitecture] = std::wstring(architecture);
    record.strings[Field::kLogonKind] = std::wstring(LogonText(measurement.logon));
    record.strings[Field::kWindowsStartMs] = OptionalMs(measurement.windowsStartMs);
    record.strings[Field::kSignInWaitMs] = OptionalMs(measurement.signInWaitMs);
    record.strings[Field::kSigningInMs] = OptionalMs(measurement.signingInMs);
    // Said of a number only: a run that measured none left nothing in or out.
    if (measurement.kind != StartKind::NotMeasured) {
        const bool excluded = measurement.waitIncluded.empty() && measurement.signInWaitMs;
        record.strings[Field::kWait] = std::wstring(excluded ? kWaitExcluded : kWaitIncluded);
        record.strings[Field::kWaitReason] = std::wstring(measurement.waitIncluded);
    }
    record.strings[Field::kSignInScreenUtc] = UtcText(measurement.signInScreenUtc);
    record.strings[Field::kSignedInUtc] = UtcText(measurement.signedInUtc);
    record.strings[Field::kStartPlace] =
        measurement.startUtc != 0 ? NumberText(measurement.startPlace) : std::wstring();
    return record;
}

std::optional<ReadStartRecord> ParseStartRecord(std::uint32_t eventId, std::uint64_t systemTime,
                                                const std::vector<std::wstring>& values) {
    using Field = StartRecordField;
    if (values.size() < Field::kFormat1Count) return std::nullopt;
    ReadStartRecord record;
    if (values[Field::kFormat] == L"1") {
        record.format = 1;
    } else if (values[Field::kFormat] == kRecordFormat && values.size() >= Field::kCount) {
        record.format = 2;
    } else {
        return std::nullopt;
    }
    record.eventId = eventId;
    record.recordTime = systemTime;
    const std::wstring& kind = values[Field::kKind];
    switch (eventId) {
        case kEventFullBoot:
            if (kind != kKindFullBoot) return std::nullopt;
            record.kind = StartKind::FullBoot;
            break;
        case kEventResume:
            if (kind != kKindResume) return std::nullopt;
            record.kind = StartKind::Resume;
            break;
        case kEventNotMeasured:
            if (kind != kKindNotMeasured || values[Field::kReason].empty()) return std::nullopt;
            record.reason = values[Field::kReason];
            break;
        default:
            return std::nullopt;
    }
    if (record.Measured()) {
        const auto duration = ParseMilliseconds(values[Field::kDurationMs]);
        if (!duration || values[Field::kStartUtc].empty()) return std::nullopt;
        record.durationMs = *duration;
    } else if (!values[Field::kDurationMs].empty()) {
        return std::nullopt;
    }
    if (!ParseOptionalInstant(values[Field::kStartUtc], record.startUtc) ||
        !ParseOptionalInstant(values[Field::kShellCreatedUtc], record.shellCreatedUtc)) {
        return std::nullopt;
    }
    if (record.format == 1) return record;

    const std::wstring& logon = values[Field::kLogonKind];
    if (logon == kLogonFirst) {
        record.logon = LogonKind::First;
    } else if (logon == kLogonLater || logon == kLogonRemote) {
        // Only the first log-on of a start measures it.
        if (record.Measured()) return std::nullopt;
        record.logon = logon == kLogonLater ? LogonKind::Later : LogonKind::Remote;
    } else {
        return std::nullopt;
    }
    const std::wstring& wait = values[Field::kWait];
    if (record.Measured() ? wait != kWaitExcluded && wait != kWaitIncluded : !wait.empty()) {
        return std::nullopt;
    }
    record.waitIncluded = wait != kWaitExcluded;
    record.waitReason = values[Field::kWaitReason];
    if (!ParseOptionalMs(values[Field::kWindowsStartMs], record.windowsStartMs) ||
        !ParseOptionalMs(values[Field::kSignInWaitMs], record.signInWaitMs) ||
        !ParseOptionalMs(values[Field::kSigningInMs], record.signingInMs) ||
        !ParseOptionalInstant(values[Field::kSignInScreenUtc], record.signInScreenUtc) ||
        !ParseOptionalInstant(values[Field::kSignedInUtc], record.signedInUtc)) {
        return std::nullopt;
    }
    // Left out only where the start is unknown.
    const std::optional<std::int64_t> place = ParseMilliseconds(values[Field::kStartPlace]);
    if (place) {
        if (*place < 0) return std::nullopt;
        record.startPlace = static_cast<std::uint64_t>(*place);
    } else if (!values[Field::kStartPlace].empty() || record.startUtc != 0) {
        return std::nullopt;
    }
    // The wait left out needs both phases it is left out from.
    if (!record.waitIncluded && (!record.windowsStartMs || !record.signInWaitMs || !record.signingInMs)) {
        return std::nullopt;
    }
    return record;
}

}  // namespace vossel
