#pragma once
// The start record of one run: its event ID and insertion strings, composed from the measurement
// that gave the caption, so the record never contradicts what the user saw.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "start/start_measurement.h"

namespace vossel {

struct StartRecord {
    std::uint32_t eventId = 0;
    std::vector<std::wstring> strings;  // in the order of StartRecordField
};

// version is the program's version; architecture "x86" or "x64".
StartRecord ComposeStartRecord(const StartMeasurement& measurement, std::wstring_view version,
                               std::wstring_view architecture);

// One record read back. Any program may write under the source, so every value is checked for
// form; whether it is plausible is the reader's matter.
struct ReadStartRecord {
    int format = 1;
    std::uint32_t eventId = 0;
    std::uint64_t recordTime = 0;  // the record's own time, a FILETIME
    StartKind kind = StartKind::NotMeasured;
    std::int64_t durationMs = 0;  // when measured
    std::wstring reason;          // when not measured
    std::uint64_t startUtc = 0;   // 0 when not given
    std::uint64_t shellCreatedUtc = 0;
    // Format 2 on; format 1 records read as a first log-on of unknown phases, place 0.
    LogonKind logon = LogonKind::First;
    std::optional<std::int64_t> windowsStartMs;
    std::optional<std::int64_t> signInWaitMs;
    std::optional<std::int64_t> signingInMs;
    bool waitIncluded = true;
    std::wstring waitReason;
    std::uint64_t signInScreenUtc = 0;
    std::uint64_t signedInUtc = 0;
    std::uint64_t startPlace = 0;

    bool Measured() const { return kind != StartKind::NotMeasured; }
};

// A record's insertion strings, with its event ID and its system time (a FILETIME). Nothing for a
// record of an unknown format, with too few values, a value not of its form, or values that
// contradict its ID.
std::optional<ReadStartRecord> ParseStartRecord(std::uint32_t eventId, std::uint64_t systemTime,
                                                const std::vector<std::wstring>& values);

// What a real start can take, in ms. Windows start, signing in and their sum: the slowest real
// starts (a feature update's offline phase on a hard disk) take one to two hours.
inline constexpr std::int64_t kMaxStartWorkMs = 6LL * 3600 * 1000;
// The wait at the sign-in screen: a PC left there over a long weekend. A whole span that includes
// the wait is bounded by both.
inline constexpr std::int64_t kMaxSignInWaitMs = 7LL * 24 * 3600 * 1000;
// A record's own time (the event log's, not the writer's) may lie this far ahead of the reader's
// clock: a clock corrected between writing and reading.
inline constexpr std::uint64_t kRecordTimeAhead = 24ULL * 3600 * 10'000'000;

// Whether every value of a record that parsed could come from a real start: durations and phases
// within the bounds above and adding up, instants neither after the record was written nor (the
// record's own time) far after nowUtc, the kind matching the place on the interrupt clock, and a
// reason that is a short token. A start before 1980 is none of this PC's.
bool PlausibleRecord(const ReadStartRecord& record, std::uint64_t nowUtc);

// "2026-12-08T07:59:12.345Z" as a FILETIME; nothing when it is not exactly that form.
std::optional<std::uint64_t> ParseUtcInstant(std::wstring_view text);

// A FILETIME (UTC, 100 ns units since 1601) as ISO 8601 with milliseconds and a Z:
// 2026-12-08T07:59:12.345Z. The sub-millisecond part is dropped, not rounded. 0 gives "".
std::wstring UtcText(std::uint64_t filetime);

}  // namespace vossel
