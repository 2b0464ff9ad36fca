#pragma once
// The starts that the history window shows, read back from the start records of the event log:
// one record's values parsed, duplicates of one start merged, and at most kMaxStarts kept.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vossel {

inline constexpr std::size_t kMaxStarts = 30;

enum class RecordedKind { FullBoot, Resume, NotMeasured };

struct RecordedStart {
    RecordedKind kind = RecordedKind::NotMeasured;
    // UTC as a FILETIME: the start instant, or the record's own time when not measured.
    std::uint64_t time = 0;
    std::int64_t durationMs = 0;  // when measured
    std::wstring reason;          // when not measured

    bool Measured() const { return kind != RecordedKind::NotMeasured; }
};

// One record's insertion strings, with its event ID and its system time (a FILETIME). Nothing for a
// record of an unknown format, with too few values, or whose values contradict its ID.
std::optional<RecordedStart> ParseRecordedStart(std::uint32_t eventId, std::uint64_t systemTime,
                                              const std::vector<std::wstring>& values);

// Fed the records newest first. Records of one start instant (several log-ons in one start) are one
// start: the one with the smallest duration stays, the first log-on. Not-measured records have no
// instant and each stays as it is.
class StartHistory {
  public:
    // False once the record would be a start beyond kMaxStarts: the reading can stop.
    bool Add(const RecordedStart& start);
    // Newest first.
    const std::vector<RecordedStart>& Starts() const { return starts_; }

  private:
    std::vector<RecordedStart> starts_;
};

// The median of the durations; nothing for none. An even count takes the mean of the middle two.
std::optional<std::int64_t> MedianMs(std::vector<std::int64_t> durations);

// Seconds to one decimal (rounded half away from zero), with the given separator.
std::wstring SecondsText(std::int64_t milliseconds, std::wstring_view decimalSeparator);

// "最近 <n> 次开机，中位数 <m> 秒，最快 <a> 秒，最慢 <b> 秒": n counts every start shown, the
// figures the measured ones ("--" when there are none).
std::wstring HistorySummary(const std::vector<RecordedStart>& starts,
                            std::wstring_view decimalSeparator);

// The list's "秒" and "方式" columns of one start.
std::wstring SecondsColumn(const RecordedStart& start, std::wstring_view decimalSeparator);
std::wstring KindColumn(const RecordedStart& start);

// Rows as tab-separated text with a header line, each line ended by CR LF, for a spreadsheet.
std::wstring TabSeparated(const std::vector<std::vector<std::wstring>>& rows);

}  // namespace vossel
