#pragma once
// What started with the starts of the history: the programs of one start as the list shows them,
// each entry's medians over the starts shown, the settling against the other starts', and where
// Windows lets the user switch start-up apps off. Platform-free.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/language.h"
#include "start/startup_record.h"

namespace vossel {

// A record's values are bounded as a real watch's can be: CPU that a thousand cores could spend in
// the window, and I/O and offsets far beyond a start's. Nothing beyond them is shown or summed.
inline constexpr std::int64_t kMaxStartupCpuMs = 100'000'000;
inline constexpr std::uint64_t kMaxStartupIoBytes = 1ULL << 50;
inline constexpr std::int64_t kMaxStartupOffsetMs = 24LL * 3600 * 1000;
inline constexpr std::int64_t kMaxSettledMs = 3600LL * 1000;

// Plausible: written after its start and not far after nowUtc, every figure within the bounds.
bool PlausibleStartupRecord(const ReadStartupRecord& record, std::uint64_t nowUtc);

// The texts below come from the program's tables (IDS_ ids) in the reader's language.
std::wstring StartupImpactWord(StartupImpact impact, const platform::TextLookup& texts);

// The programs list's header and one row per program: entry, rating, CPU, I/O, "+n.n 秒".
std::vector<std::wstring> StartupProgramColumns(const platform::TextLookup& texts);
std::vector<std::vector<std::wstring>> StartupProgramRows(const StartupReport& report,
                                                          std::wstring_view decimalSeparator,
                                                          const platform::TextLookup& texts);

// The line above the programs: this start's settling against the median of the others' that
// settled, "Windows and services", and whether the watch ended early.
std::wstring StartupSummary(const StartupReport& report,
                            const std::vector<std::optional<std::int64_t>>& othersSettledMs,
                            std::wstring_view decimalSeparator,
                            const platform::TextLookup& texts);

// One entry over the shown starts: an entry's figures in one start are its processes' sums.
struct EntrySummary {
    std::wstring entry;
    std::int64_t medianCpuMs = 0;
    std::uint64_t medianIoBytes = 0;
    std::size_t starts = 0;  // in how many of the reports it appeared
};

// Slowest first by the medians, as programs are ordered.
std::vector<EntrySummary> SummarizeEntries(const std::vector<const StartupReport*>& reports);

std::vector<std::wstring> EntrySummaryColumns(const platform::TextLookup& texts);
// "<n> / <reports>" in the last column.
std::vector<std::vector<std::wstring>> EntrySummaryRows(const std::vector<EntrySummary>& entries,
                                                        std::size_t reports,
                                                        const platform::TextLookup& texts);

// Settings' start-up apps page came with Windows 10 version 1803, build 17134; before it, Task
// Manager's start-up tab is the place.
inline constexpr unsigned long kStartupAppsBuild = 17134;
inline constexpr wchar_t kStartupAppsUri[] = L"ms-settings:startupapps";
inline constexpr wchar_t kTaskManager[] = L"taskmgr.exe";

}  // namespace vossel
