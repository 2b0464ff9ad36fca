#include "history/start_history.h"

#include <algorithm>
#include <numeric>

#include "platform/number_text.h"
#include "start/start_record.h"

namespace vossel {

std::optional<RecordedStart> ParseRecordedStart(std::uint32_t eventId, std::uint64_t systemTime,
                                              const std::vector<std::wstring>& values) {
    const std::optional<ReadStartRecord> record = ParseStartRecord(eventId, systemTime, values);
    // A later or remote log-on is not a start of its own.
    if (!record || record->logon != LogonKind::First) return std::nullopt;
    RecordedStart start;
    switch (record->kind) {
        case StartKind::FullBoot:
            start.kind = RecordedKind::FullBoot;
            break;
        case StartKind::Resume:
            start.kind = RecordedKind::Resume;
            break;
        case StartKind::NotMeasured:
            start.time = systemTime;
            start.reason = record->reason;
            return start;
    }
    start.durationMs = record->durationMs;
    start.time = record->startUtc;
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
