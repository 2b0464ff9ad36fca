#include "mainwindow/start_record.h"

#include <chrono>
#include <string>

#include "platform/number_text.h"
#include "platform/start_record_format.h"

namespace vossel {
namespace {

constexpr std::uint64_t kTicksPerMs = 10'000;
constexpr std::uint64_t kMsPerDay = 86'400'000;
// Days from 1601-01-01, where FILETIMEs count from, to 1970-01-01.
constexpr std::int64_t kFiletimeEpochToUnixDays = 134'774;

}  // namespace

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
    using Field = platform::StartRecordField;
    StartRecord record;
    record.strings.resize(Field::kCount);
    record.strings[Field::kFormat] = std::wstring(platform::kRecordFormat);
    switch (measurement.kind) {
        case StartKind::FullBoot:
            record.eventId = platform::kEventFullBoot;
            record.strings[Field::kKind] = std::wstring(platform::kKindFullBoot);
            break;
        case StartKind::Resume:
            record.eventId = platform::kEventResume;
            record.strings[Field::kKind] = std::wstring(platform::kKindResume);
            break;
        case StartKind::NotMeasured:
            record.eventId = platform::kEventNotMeasured;
            record.strings[Field::kKind] = std::wstring(platform::kKindNotMeasured);
            record.strings[Field::kReason] = std::wstring(measurement.reason);
            break;
    }
    if (measurement.kind != StartKind::NotMeasured) {
        // Never the locale's formatting: readers parse the digits with invariant rules.
        record.strings[Field::kDurationMs] = platform::NumberText(measurement.durationMs);
        record.strings[Field::kStartUtc] = UtcText(measurement.startUtc);
    }
    record.strings[Field::kShellCreatedUtc] = UtcText(measurement.shellCreatedUtc);
    record.strings[Field::kVersion] = std::wstring(version);
    record.strings[Field::kArchitecture] = std::wstring(architecture);
    return record;
}

}  // namespace vossel
