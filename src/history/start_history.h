#pragma once
// The starts that the history window shows, read back from the start records of the event log.
// Any program may write records under the source, so each record is parsed for form, then used
// only when its values could come from a real start; the records of one start become one row.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/language.h"
#include "start/start_identity.h"
#include "start/start_record.h"
#include "start/startup_record.h"

namespace vossel {

inline constexpr std::size_t kMaxStarts = 30;
// Records examined at most per reading, whatever they hold: 30 starts with 30 log-ons each fit,
// and a log full of records that are not ours costs one bounded pass.
inline constexpr std::size_t kMaxRecordsExamined = 1000;

enum class RecordedKind { FullBoot, Resume, NotMeasured };

struct RecordedStart {
    RecordedKind kind = RecordedKind::NotMeasured;
    int format = 1;
    // The start instant as a FILETIME (UTC), or the record's own time when the start is unknown.
    std::uint64_t time = 0;
    std::uint64_t recordTime = 0;
    StartIdentity identity;       // startUtc 0 when the record names no start
    std::int64_t durationMs = 0;  // when measured
    std::wstring reason;          // when not measured
    // Format 2 on; each nothing when unknown.
    std::optional<std::int64_t> windowsStartMs;
    std::optional<std::int64_t> signInWaitMs;
    std::optional<std::int64_t> signingInMs;
    // The number includes the wait at the sign-in screen: always so in format 1.
    bool waitIncluded = true;
    int laterLogons = 0;    // later or remote log-ons of this start, and format 1's repeats
    bool conflict = false;  // another record names this start and disagrees with this one
    // What started with it, from the first plausible record of its programs.
    std::optional<StartupReport> startup;

    bool Measured() const { return kind != RecordedKind::NotMeasured; }
    // Windows start and signing in known, so that the bar can be stacked.
    bool HasPhases() const { return format >= 2 && windowsStartMs && signingInMs; }
};

// Fed the records newest first; a record of a start's programs joins the row of its start and
// changes no other. A later or remote log-on never stands as a start: it is counted
// under its start. Records that name one start (the identity rule) and agree are one start, whose
// number is its first log-on's: the one written first. Records that name one start and disagree
// (another kind, or another number beyond the tolerance) both stay, marked as a conflict.
class StartHistory {
  public:
    explicit StartHistory(std::uint64_t nowUtc) : nowUtc_(nowUtc) {}

    // False once the reading can stop: kMaxStarts starts are complete, or kMaxRecordsExamined
    // records were examined.
    bool Add(std::uint32_t eventId, std::uint64_t systemTime,
             const std::vector<std::wstring>& values);
    // Newest first.
    std::vector<RecordedStart> Starts() const;
    // Records examined and left out: not of the format, or not plausible.
    std::size_t LeftOut() const { return leftOut_; }

  private:
    void AddStart(RecordedStart start);

    std::uint64_t nowUtc_;
    std::size_t examined_ = 0;
    std::size_t leftOut_ = 0;
    bool full_ = false;
    std::vector<RecordedStart> starts_;
    std::vector<StartIdentity> laterLogons_;
    std::vector<StartupReport> startupReports_;  // newest first
};

// The median of the durations; nothing for none. An even count takes the mean of the middle two.
std::optional<std::int64_t> MedianMs(std::vector<std::int64_t> durations);

// Seconds to one decimal (rounded half away from zero), with the given separator.
std::wstring SecondsText(std::int64_t milliseconds, std::wstring_view decimalSeparator);

// The texts below are composed from the program's tables (IDS_ ids) in the reader's language.

// "最近 <n> 次开机，中位数 <m> 秒，最快 <a> 秒，最慢 <b> 秒": n counts every start shown once (of
// rows in conflict, the first-written), the figures the measured ones ("--" when there are none).
std::wstring HistorySummary(const std::vector<RecordedStart>& starts,
                            std::wstring_view decimalSeparator, const platform::TextLookup& texts);

// "已略去 <n> 条..." for n > 0, else empty.
std::wstring LeftOutText(std::size_t leftOut, const platform::TextLookup& texts);

// The list's columns after the time, of one start: 秒, Windows 启动, 登录, 登录界面等待, 方式.
std::vector<std::wstring> StartColumns(const RecordedStart& start,
                                       std::wstring_view decimalSeparator,
                                       const platform::TextLookup& texts);
// The list's header, in the order of the row that StartColumns completes.
std::vector<std::wstring> HistoryColumns(const platform::TextLookup& texts);

// Rows as tab-separated text after the header line, each line ended by CR LF, for a spreadsheet.
std::wstring TabSeparated(const std::vector<std::wstring>& header,
                          const std::vector<std::vector<std::wstring>>& rows);

}  // namespace vossel
