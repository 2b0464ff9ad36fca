#include "mainwindow/boot_duration.h"

namespace vossel {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

// Days from 1970-01-01 to the given civil date (Howard Hinnant's days_from_civil), valid for
// every year a SYSTEMTIME can hold.
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

}  // namespace

void ShellProcessMatcher::Examine(std::uint32_t id, std::string_view exeName) {
    if (exeName.find(ShellProcessName) != std::string_view::npos) {
        processId = id;
    }
}

std::int64_t UtcMilliseconds(const UtcDateTime& time) {
    const std::int64_t timeOfDay = std::int64_t{time.hour} * 3'600'000 +
                                   std::int64_t{time.minute} * 60'000 +
                                   std::int64_t{time.second} * 1000 + time.milliseconds;
    return DaysFromCivil(time.year, time.month, time.day) * kMsPerDay + timeOfDay;
}

std::int64_t BootDurationMs(std::uint64_t tickCount, const UtcDateTime& now,
                            const UtcDateTime& shellCreated) {
    const std::int64_t elapsed = UtcMilliseconds(now) - UtcMilliseconds(shellCreated);
    // A 64-bit tick count stays below 2^63 for some 292 million years.
    return static_cast<std::int64_t>(tickCount) - elapsed;
}

std::wstring DurationText(std::int64_t milliseconds, std::wstring_view decimalSeparator) {
    // Unsigned magnitude, so that even the most negative value has one.
    const std::uint64_t magnitude = milliseconds < 0 ? 0 - static_cast<std::uint64_t>(milliseconds)
                                                     : static_cast<std::uint64_t>(milliseconds);
    std::wstring text = milliseconds < 0 ? L"-" : L"";
    text += std::to_wstring(magnitude / 1000);
    std::uint64_t fraction = magnitude % 1000;
    if (fraction != 0) {
        int digits = 3;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --digits;
        }
        std::wstring fractionText = std::to_wstring(fraction);
        text += decimalSeparator;
        text.append(static_cast<std::size_t>(digits) - fractionText.size(), L'0');
        text += fractionText;
    }
    return text;
}

std::wstring BootDurationText(std::uint64_t tickCount, const UtcDateTime& now,
                              const UtcDateTime& shellCreated, std::wstring_view decimalSeparator) {
    return DurationText(BootDurationMs(tickCount, now, shellCreated), decimalSeparator);
}

}  // namespace vossel
