#include "history/start_history.h"

#include <algorithm>
#include <numeric>

#include "platform/number_text.h"
#include "platform/start_record_format.h"

namespace vossel {
namespace {

using Field = platform::StartRecordField;

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kTicksPerMs = 10'000;
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

}  // namespace

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

std::optional<RecordedStart> ParseStartRecord(std::uint32_t eventId, std::uint64_t systemTime,
                                              const std::vector<std::wstring>& values) {
    if (values.size() < Field::kCount || values[Field::kFormat] != platform::kRecordFormat) {
        return std::nullopt;
    }
    const std::wstring& kind = values[Field::kKind];
    RecordedStart start;
    switch (eventId) {
        case platform::kEventFullBoot:
            if (kind != platform::kKindFullBoot) return std::nullopt;
            start.kind = RecordedKind::FullBoot;
            break;
        case platform::kEventResume:
            if (kind != platform::kKindResume) return std::nullopt;
            start.kind = RecordedKind::Resume;
            break;
        case platform::kEventNotMeasured:
            if (kind != platform::kKindNotMeasured) return std::nullopt;
            start.time = systemTime;
            start.reason = values[Field::kReason];
            return start;
        default:
            return std::nullopt;
    }
    const auto duration = ParseMilliseconds(values[Field::kDurationMs]);
    const auto instant = ParseUtcInstant(values[Field::kStartUtc]);
    if (!duration || !instant) return std::nullopt;
    start.durationMs = *duration;
    start.time = *instant;
    return start;
}

bool StartHistory::Add(const RecordedStart& start) {
    if (start.Measured()) {
        const auto same = std::find_if(starts_.begin(), starts_.end(), [&](const RecordedStart& s) {
            return s.Measured() && s.time == start.time;
        });
        if (same != starts_.end()) {
            if (start.durationMs < same->durationMs) *same = start;
            return true;
        }
    }
    if (starts_.size() >= kMaxStarts) return false;
    starts_.push_back(start);
    return true;
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
                            std::wstring_view decimalSeparator) {
    std::vector<std::int64_t> durations;
    for (const RecordedStart& start : starts) {
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
    return L"最近 " + platform::NumberText(starts.size()) + L" 次开机，中位数 " +
           figure(MedianMs(durations)) + L" 秒，最快 " + figure(fastest) + L" 秒，最慢 " +
           figure(slowest) + L" 秒";
}

std::wstring SecondsColumn(const RecordedStart& start, std::wstring_view decimalSeparator) {
    return start.Measured() ? SecondsText(start.durationMs, decimalSeparator) : L"--";
}

std::wstring KindColumn(const RecordedStart& start) {
    switch (start.kind) {
        case RecordedKind::FullBoot:
            return L"完整启动";
        case RecordedKind::Resume:
            return L"快速启动或唤醒";
        case RecordedKind::NotMeasured:
            break;
    }
    return L"未测量：" + start.reason;
}

std::wstring TabSeparated(const std::vector<std::vector<std::wstring>>& rows) {
    std::wstring text = L"开机时间\t秒\t方式\r\n";
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i != 0) text += L'\t';
            // A tab or line break inside a cell would split it.
            for (wchar_t c : row[i]) text += c == L'\t' || c == L'\r' || c == L'\n' ? L' ' : c;
        }
        text += L"\r\n";
    }
    return text;
}

}  // namespace vossel
