#include "history/startup_history.h"

#include <algorithm>
#include <map>
#include <numeric>

#include "history/start_history.h"
#include "platform/number_text.h"
#include "resource_ids.h"

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

std::wstring StartupImpactWord(StartupImpact impact, const platform::TextLookup& texts) {
    switch (impact) {
        case StartupImpact::High:
            return texts(IDS_IMPACT_HIGH);
        case StartupImpact::Medium:
            return texts(IDS_IMPACT_MEDIUM);
        case StartupImpact::Low:
            break;
    }
    return texts(IDS_IMPACT_LOW);
}

std::vector<std::wstring> StartupProgramColumns(const platform::TextLookup& texts) {
    return {texts(IDS_STARTUP_COLUMN_ENTRY), texts(IDS_STARTUP_COLUMN_RATING),
            texts(IDS_STARTUP_COLUMN_CPU), texts(IDS_STARTUP_COLUMN_IO),
            texts(IDS_STARTUP_COLUMN_STARTED)};
}

std::vector<std::vector<std::wstring>> StartupProgramRows(const StartupReport& report,
                                                          std::wstring_view decimalSeparator,
                                                          const platform::TextLookup& texts) {
    using platform::NumberText;
    std::vector<std::vector<std::wstring>> rows;
    for (const StartupProgram& program : report.programs) {
        const std::wstring offset = SecondsText(program.startOffsetMs, decimalSeparator);
        rows.push_back(
            {program.entry, StartupImpactWord(program.Impact(), texts), NumberText(program.cpuMs),
             NumberText(program.ioBytes),
             platform::FillIn(texts, IDS_SECONDS_VALUE,
                              {(offset[0] == L'-' ? L"" : L"+") + offset})});
    }
    return rows;
}

std::wstring StartupSummary(const StartupReport& report,
                            const std::vector<std::optional<std::int64_t>>& othersSettledMs,
                            std::wstring_view decimalSeparator,
                            const platform::TextLookup& texts) {
    std::wstring text =
        report.settledMs
            ? platform::FillIn(texts, IDS_STARTUP_SETTLED,
                               {SecondsText(*report.settledMs, decimalSeparator)})
            : texts(IDS_STARTUP_NOT_SETTLED);
    std::vector<std::int64_t> settled;
    for (const auto& ms : othersSettledMs) {
        if (ms) settled.push_back(*ms);
    }
    text += settled.empty() ? texts(IDS_STARTUP_NO_OTHERS)
                            : platform::FillIn(texts, IDS_STARTUP_OTHERS_MEDIAN,
                                               {SecondsText(Median(settled), decimalSeparator)});
    text += platform::FillIn(texts, IDS_STARTUP_SERVICES,
                             {platform::NumberText(report.windowsAndServicesCpuMs)});
    if (report.partial) text += texts(IDS_STARTUP_PARTIAL);
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

std::vector<std::wstring> EntrySummaryColumns(const platform::TextLookup& texts) {
    return {texts(IDS_STARTUP_COLUMN_ENTRY), texts(IDS_STARTUP_COLUMN_RATING),
            texts(IDS_STARTUP_COLUMN_MEDIAN_CPU), texts(IDS_STARTUP_COLUMN_MEDIAN_IO),
            texts(IDS_STARTUP_COLUMN_APPEARED)};
}

std::vector<std::vector<std::wstring>> EntrySummaryRows(const std::vector<EntrySummary>& entries,
                                                        std::size_t reports,
                                                        const platform::TextLookup& texts) {
    using platform::NumberText;
    std::vector<std::vector<std::wstring>> rows;
    for (const EntrySummary& entry : entries) {
        rows.push_back({entry.entry,
                        StartupImpactWord(
                            RateStartupImpact(entry.medianCpuMs, entry.medianIoBytes), texts),
                        NumberText(entry.medianCpuMs), NumberText(entry.medianIoBytes),
                        NumberText(entry.starts) + L" / " + NumberText(reports)});
    }
    return rows;
}

}  // namespace vossel
