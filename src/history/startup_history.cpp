#include "history/startup_history.h"

#include <algorithm>
#include <map>
#include <numeric>

#include "history/start_history.h"
#include "platform/number_text.h"

namespace vossel {
namespace {

template <typename Number>
Number Median(std::vector<Number> values) {
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    const Number upper = values[middle];
    if (values.size() % 2 != 0) return upper;
    return std::midpoint(*std::max_element(values.begin(), values.begin() + middle), upper);
}

}  // namespace

bool PlausibleStartupRecord(const ReadStartupRecord& record, std::uint64_t nowUtc) {
    const StartupReport& report = record.report;
    if (record.recordTime == 0 || record.recordTime > nowUtc + kRecordTimeAhead ||
        report.start.startUtc > record.recordTime + kSameStartTolerance) {
        return false;
    }
    if (report.settledMs && *report.settledMs > kMaxSettledMs) return false;
    if (report.windowsAndServicesCpuMs < -kMaxStartupCpuMs ||
        report.windowsAndServicesCpuMs > kMaxStartupCpuMs) {
        return false;
    }
    return std::all_of(
        report.programs.begin(), report.programs.end(), [](const StartupProgram& program) {
            return program.cpuMs <= kMaxStartupCpuMs && program.ioBytes <= kMaxStartupIoBytes &&
                   program.startOffsetMs >= -kMaxStartupOffsetMs &&
                   program.startOffsetMs <= kMaxStartupOffsetMs;
        });
}

std::wstring_view StartupImpactWord(StartupImpact impact) {
    switch (impact) {
        case StartupImpact::High:
            return startup_text::kHigh;
        case StartupImpact::Medium:
            return startup_text::kMedium;
        case StartupImpact::Low:
            break;
    }
    return startup_text::kLow;
}

std::vector<std::wstring> StartupProgramColumns() {
    using namespace startup_text;
    return {std::wstring(kEntry), std::wstring(kRating), std::wstring(kCpu), std::wstring(kIo),
            std::wstring(kStartedAt)};
}

std::vector<std::vector<std::wstring>> StartupProgramRows(const StartupReport& report,
                                                          std::wstring_view decimalSeparator) {
    using platform::NumberText;
    std::vector<std::vector<std::wstring>> rows;
    for (const StartupProgram& program : report.programs) {
        const std::wstring offset = SecondsText(program.startOffsetMs, decimalSeparator);
        rows.push_back(
            {program.entry, std::wstring(StartupImpactWord(program.Impact())),
             NumberText(program.cpuMs), NumberText(program.ioBytes),
             (offset[0] == L'-' ? L"" : L"+") + offset + std::wstring(startup_text::kSeconds)});
    }
    return rows;
}

std::wstring StartupSummary(const StartupReport& report,
                            const std::vector<std::optional<std::int64_t>>& othersSettledMs,
                            std::wstring_view decimalSeparator) {
    using namespace startup_text;
    std::wstring text;
    if (report.settledMs) {
        text = std::wstring(kSettledAfter) + SecondsText(*report.settledMs, decimalSeparator) +
               std::wstring(kSettled);
    } else {
        text = startup_text::kNotSettled;
    }
    std::vector<std::int64_t> settled;
    for (const auto& ms : othersSettledMs) {
        if (ms) settled.push_back(*ms);
    }
    if (settled.empty()) {
        text += kNoOthers;
    } else {
        text += std::wstring(kOthersMedian) + SecondsText(Median(settled), decimalSeparator) +
                std::wstring(kSeconds);
    }
    text += L"。" + std::wstring(kWindowsAndServices) +
            platform::NumberText(report.windowsAndServicesCpuMs) + std::wstring(kCpuMs) + L"。";
    if (report.partial) text += kPartial;
    return text;
}

std::vector<EntrySummary> SummarizeEntries(const std::vector<const StartupReport*>& reports) {
    struct Figures {
        std::vector<std::int64_t> cpuMs;
        std::vector<std::uint64_t> ioBytes;
    };
    std::map<std::wstring, Figures> byEntry;
    for (const StartupReport* report : reports) {
        // One start's processes of one entry add up; the bounds keep 25 sums within range.
        std::map<std::wstring, std::pair<std::int64_t, std::uint64_t>> sums;
        for (const StartupProgram& program : report->programs) {
            auto& sum = sums[program.entry];
            sum.first += program.cpuMs;
            sum.second += program.ioBytes;
        }
        for (const auto& [entry, sum] : sums) {
            Figures& figures = byEntry[entry];
            figures.cpuMs.push_back(sum.first);
            figures.ioBytes.push_back(sum.second);
        }
    }
    std::vector<EntrySummary> entries;
    for (const auto& [entry, figures] : byEntry) {
        entries.push_back(
            {entry, Median(figures.cpuMs), Median(figures.ioBytes), figures.cpuMs.size()});
    }
    std::sort(entries.begin(), entries.end(), [](const EntrySummary& a, const EntrySummary& b) {
        const StartupProgram left{a.entry, {}, a.medianCpuMs, a.medianIoBytes, 0};
        const StartupProgram right{b.entry, {}, b.medianCpuMs, b.medianIoBytes, 0};
        return SlowerThan(left, right);
    });
    return entries;
}

std::vector<std::wstring> EntrySummaryColumns() {
    using namespace startup_text;
    return {std::wstring(kEntry), std::wstring(kRating), std::wstring(kMedianCpu),
            std::wstring(kMedianIo), std::wstring(kAppeared)};
}

std::vector<std::vector<std::wstring>> EntrySummaryRows(const std::vector<EntrySummary>& entries,
                                                        std::size_t reports) {
    using platform::NumberText;
    std::vector<std::vector<std::wstring>> rows;
    for (const EntrySummary& entry : entries) {
        rows.push_back({entry.entry,
                        std::wstring(StartupImpactWord(
                            RateStartupImpact(entry.medianCpuMs, entry.medianIoBytes))),
                        NumberText(entry.medianCpuMs), NumberText(entry.medianIoBytes),
                        NumberText(entry.starts) + L" / " + NumberText(reports)});
    }
    return rows;
}

}  // namespace vossel
