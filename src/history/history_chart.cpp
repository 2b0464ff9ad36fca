#include "history/history_chart.h"

#include <algorithm>

#include "platform/number_text.h"

namespace vossel {
namespace {

constexpr int kMaxTicks = 5;

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
    std::vector<std::int64_t> durations;
    std::int64_t topMs = 0;
    for (const RecordedStart* start : measured) {
        durations.push_back(start->durationMs);
        topMs = std::max(topMs, start->durationMs);
    }
    const std::int64_t step = TickStepMs(topMs);
    const std::int64_t intervals = std::max<std::int64_t>((topMs + step - 1) / step, 2);
    const std::int64_t axisMs = step * intervals;

    const int height = std::max(plot.bottom - 1 - plot.top, 0);
    const auto yOf = [&](std::int64_t ms) {
        const std::int64_t clamped = std::clamp<std::int64_t>(ms, 0, axisMs);
        return plot.bottom - 1 - static_cast<int>((clamped * height + axisMs / 2) / axisMs);
    };
    for (std::int64_t i = 0; i <= intervals; ++i) chart.ticks.push_back({i * step, yOf(i * step)});

    const int width = std::max(plot.right - plot.left, 0);
    const int count = static_cast<int>(measured.size());
    for (int i = 0; i < count; ++i) {
        const int slotLeft = plot.left + width * i / count;
        const int slotRight = plot.left + width * (i + 1) / count;
        // A gap of a sixth of the slot on each side, while a bar keeps a pixel at least.
        int inset = (slotRight - slotLeft) / 6;
        if (slotRight - slotLeft - 2 * inset < 1) inset = 0;
        ChartBar bar;
        bar.box = {slotLeft + inset, yOf(measured[i]->durationMs), slotRight - inset,
                   plot.bottom};
        bar.kind = measured[i]->kind;
        bar.newest = i == count - 1;
        chart.bars.push_back(bar);
    }
    chart.medianMs = MedianMs(durations);
    if (chart.medianMs) chart.medianY = yOf(*chart.medianMs);
    return chart;
}

}  // namespace vossel
