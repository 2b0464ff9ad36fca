#include "history/history_chart.h"

#include <algorithm>
#include <cmath>

#include "platform/number_text.h"
#include "resource_ids.h"

namespace vossel {
namespace {

constexpr int kMaxTicks = 5;
// Far above any plausible start (about 300 years), far below where the tick steps overflow.
constexpr std::int64_t kMaxChartMs = 10'000'000'000'000;
// Below this the bulk is not stretched further: a second is a bar's least scale.
constexpr std::int64_t kLeastOutlierMs = 1'000;

std::int64_t Clamped(std::int64_t ms) { return std::clamp<std::int64_t>(ms, 0, kMaxChartMs); }

// The smallest step of 1, 2 or 5 times a power of ten (from 0.1 s) that reaches the top value
// within kMaxTicks ticks counting 0. A step of the next smaller size needed more than five, so
// this one gives at least three.
std::int64_t TickStepMs(std::int64_t topMs) {
    static constexpr std::int64_t kMantissas[] = {1, 2, 5};
    for (std::int64_t power = 100;; power *= 10) {
        for (std::int64_t mantissa : kMantissas) {
            const std::int64_t step = mantissa * power;
            const std::int64_t intervals = std::max<std::int64_t>((topMs + step - 1) / step, 2);
            if (intervals + 1 <= kMaxTicks) return step;
        }
    }
}

// The measured durations, oldest first, clamped.
std::vector<std::int64_t> BarValues(const std::vector<RecordedStart>& starts) {
    std::vector<std::int64_t> values;
    for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
        if (it->Measured()) values.push_back(Clamped(it->durationMs));
    }
    return values;
}

// The highest bar that is not an outlier; a bar above it is cut.
std::int64_t BulkTopMs(const std::vector<std::int64_t>& values) {
    const std::optional<std::int64_t> median = MedianMs(values);
    if (!median) return 0;
    const std::int64_t limit = std::max(*median * kOutlierFactor, kLeastOutlierMs);
    std::int64_t top = 0;
    for (std::int64_t value : values) {
        if (value <= limit) top = std::max(top, value);
    }
    return top;
}

struct Axis {
    std::int64_t stepMs = 0;
    std::int64_t intervals = 0;
    std::int64_t TopMs() const { return stepMs * intervals; }
};

Axis AxisOf(const std::vector<std::int64_t>& values) {
    const std::int64_t top = BulkTopMs(values);
    const std::int64_t step = TickStepMs(top);
    return {step, std::max<std::int64_t>((top + step - 1) / step, 2)};
}

}  // namespace

std::wstring TickText(std::int64_t valueMs, std::wstring_view decimalSeparator) {
    if (valueMs % 1000 == 0) return platform::NumberText(valueMs / 1000);
    return SecondsText(valueMs, decimalSeparator);
}

ChartGeometry LayoutChart(const std::vector<RecordedStart>& starts, ChartRect plot) {
    ChartGeometry chart;
    std::vector<const RecordedStart*> measured;
    for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
        if (it->Measured()) measured.push_back(&*it);
    }
    const std::vector<std::int64_t> values = BarValues(starts);
    const Axis axis = AxisOf(values);
    const std::int64_t axisMs = axis.TopMs();

    const int height = std::max(plot.bottom - 1 - plot.top, 0);
    const auto yOf = [&](std::int64_t ms) {
        const double share = static_cast<double>(std::clamp<std::int64_t>(ms, 0, axisMs)) /
                             static_cast<double>(axisMs);
        return plot.bottom - 1 - static_cast<int>(std::lround(share * height));
    };
    for (std::int64_t i = 0; i <= axis.intervals; ++i) {
        chart.ticks.push_back({i * axis.stepMs, yOf(i * axis.stepMs)});
    }

    const int width = std::max(plot.right - plot.left, 0);
    const int count = static_cast<int>(measured.size());
    for (int i = 0; i < count; ++i) {
        const RecordedStart& start = *measured[i];
        const std::int64_t value = values[static_cast<std::size_t>(i)];
        const int slotLeft =
            plot.left + static_cast<int>(static_cast<long long>(width) * i / count);
        const int slotRight =
            plot.left + static_cast<int>(static_cast<long long>(width) * (i + 1) / count);
        // A gap of a sixth of the slot on each side, while a bar keeps a pixel at least.
        int inset = (slotRight - slotLeft) / 6;
        if (slotRight - slotLeft - 2 * inset < 1) inset = 0;
        ChartBar bar;
        bar.box = {slotLeft + inset, yOf(value), slotRight - inset, plot.bottom};
        bar.kind = start.kind;
        bar.newest = i == count - 1;
        bar.waitIncluded = start.waitIncluded;
        bar.cut = start.durationMs > axisMs;
        bar.valueMs = start.durationMs;

        // The phases' upper ends, each held within the bar: they add up to the number only
        // within the clocks' rounding.
        std::vector<std::pair<ChartPhase, std::int64_t>> ends;
        if (start.HasPhases()) {
            std::int64_t end = std::min(Clamped(*start.windowsStartMs), value);
            ends.push_back({ChartPhase::WindowsStart, end});
            if (start.waitIncluded && start.signInWaitMs) {
                end = std::min(end + Clamped(*start.signInWaitMs), value);
                ends.push_back({ChartPhase::Wait, end});
            }
            ends.push_back({ChartPhase::SigningIn, value});
        } else {
            ends.push_back({ChartPhase::Whole, value});
        }
        int bottom = plot.bottom;
        for (const auto& [phase, end] : ends) {
            const int top = std::min(yOf(end), bottom);
            if (top < bottom) bar.segments.push_back({phase, top, bottom});
            bottom = top;
        }
        chart.bars.push_back(std::move(bar));
    }
    chart.medianMs = MedianMs(values);
    if (chart.medianMs) chart.medianY = yOf(*chart.medianMs);
    return chart;
}

std::wstring ChartDescription(const std::vector<RecordedStart>& starts,
                              std::wstring_view decimalSeparator,
                              const platform::TextLookup& texts) {
    const std::vector<std::int64_t> values = BarValues(starts);
    if (values.empty()) return {};
    const std::int64_t top = AxisOf(values).TopMs();
    const auto cut = std::count_if(values.begin(), values.end(),
                                   [top](std::int64_t value) { return value > top; });
    const auto seconds = [&](std::int64_t ms) { return SecondsText(ms, decimalSeparator); };
    std::wstring text =
        platform::FillIn(texts, IDS_CHART_DESCRIPTION,
                         {platform::NumberText(values.size()), seconds(*MedianMs(values)),
                          seconds(*std::min_element(values.begin(), values.end())),
                          seconds(*std::max_element(values.begin(), values.end()))});
    if (cut > 0) text = platform::FillIn(texts, IDS_CHART_CUT, {text, platform::NumberText(cut)});
    return platform::FillIn(texts, IDS_CHART_END, {text});
}

}  // namespace vossel
