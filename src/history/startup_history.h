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

#include "start/startup_record.h"

namespace vossel {

// The window's texts about start-up programs, in one place.
namespace startup_text {
inline constexpr std::wstring_view kProgramsList = L"本次开机随之启动的程序";
inline constexpr std::wstring_view kEntriesList = L"所示各次开机的启动项";
inline constexpr std::wstring_view kEntry = L"启动项";
inline constexpr std::wstring_view kRating = L"启动影响";
inline constexpr std::wstring_view kCpu = L"CPU（毫秒）";
inline constexpr std::wstring_view kIo = L"I/O（字节）";
inline constexpr std::wstring_view kStartedAt = L"启动于";
inline constexpr std::wstring_view kMedianCpu = L"CPU 中位数（毫秒）";
inline constexpr std::wstring_view kMedianIo = L"I/O 中位数（字节）";
inline constexpr std::wstring_view kAppeared = L"出现次数";
inline constexpr std::wstring_view kHigh = L"高";
inline constexpr std::wstring_view kMedium = L"中";
inline constexpr std::wstring_view kLow = L"低";
inline constexpr std::wstring_view kSeconds = L" 秒";
inline constexpr std::wstring_view kNoStartSelected = L"选择一次开机，查看随之启动的程序。";
inline constexpr std::wstring_view kNotWatched = L"这次开机没有启动程序的记录。";
inline constexpr std::wstring_view kSettledAfter = L"桌面在外壳出现后 ";
inline constexpr std::wstring_view kSettled = L" 秒安定";
inline constexpr std::wstring_view kNotSettled = L"桌面在观察的时间内没有安定";
inline constexpr std::wstring_view kOthersMedian = L"；其他各次开机中位数 ";
inline constexpr std::wstring_view kNoOthers = L"；其他各次开机没有安定时间可比";
inline constexpr std::wstring_view kPartial = L"（观察提前结束，只有部分数据）";
inline constexpr std::wstring_view kWindowsAndServices = L"Windows 和服务：";
inline constexpr std::wstring_view kCpuMs = L" 毫秒 CPU";
inline constexpr std::wstring_view kOpenSettings = L"在“设置”中管理启动应用(&S)";
inline constexpr std::wstring_view kCannotOpen = L"无法打开 Windows 的启动应用管理：";
inline constexpr std::wstring_view kOpenTaskManager = L"在任务管理器中管理启动应用(&S)";
}  // namespace startup_text

// A record's values are bounded as a real watch's can be: CPU that a thousand cores could spend in
// the window, and I/O and offsets far beyond a start's. Nothing beyond them is shown or summed.
inline constexpr std::int64_t kMaxStartupCpuMs = 100'000'000;
inline constexpr std::uint64_t kMaxStartupIoBytes = 1ULL << 50;
inline constexpr std::int64_t kMaxStartupOffsetMs = 24LL * 3600 * 1000;
inline constexpr std::int64_t kMaxSettledMs = 3600LL * 1000;

// Plausible: written after its start and not far after nowUtc, every figure within the bounds.
bool PlausibleStartupRecord(const ReadStartupRecord& record, std::uint64_t nowUtc);

std::wstring_view StartupImpactWord(StartupImpact impact);

// The programs list's header and one row per program: entry, rating, CPU, I/O, "+n.n 秒".
std::vector<std::wstring> StartupProgramColumns();
std::vector<std::vector<std::wstring>> StartupProgramRows(const StartupReport& report,
                                                          std::wstring_view decimalSeparator);

// The line above the programs: this start's settling against the median of the others' that
// settled, "Windows and services", and whether the watch ended early.
std::wstring StartupSummary(const StartupReport& report,
                            const std::vector<std::optional<std::int64_t>>& othersSettledMs,
                            std::wstring_view decimalSeparator);

// One entry over the shown starts: an entry's figures in one start are its processes' sums.
struct EntrySummary {
    std::wstring entry;
    std::int64_t medianCpuMs = 0;
    std::uint64_t medianIoBytes = 0;
    std::size_t starts = 0;  // in how many of the reports it appeared
};

// Slowest first by the medians, as programs are ordered.
std::vector<EntrySummary> SummarizeEntries(const std::vector<const StartupReport*>& reports);

std::vector<std::wstring> EntrySummaryColumns();
// "<n> / <reports>" in the last column.
std::vector<std::vector<std::wstring>> EntrySummaryRows(const std::vector<EntrySummary>& entries,
                                                        std::size_t reports);

// Settings' start-up apps page came with Windows 10 version 1803, build 17134; before it, Task
// Manager's start-up tab is the place.
inline constexpr unsigned long kStartupAppsBuild = 17134;
inline constexpr wchar_t kStartupAppsUri[] = L"ms-settings:startupapps";
inline constexpr wchar_t kTaskManager[] = L"taskmgr.exe";

}  // namespace vossel
