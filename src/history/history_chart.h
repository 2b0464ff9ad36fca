#pragma once
// The history chart's geometry in pixels: the value axis from 0 with 3 to 5 round ticks, one bar
// per measured start (oldest on the left), and the median line. The window only draws this.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/start_history.h"

namespace vossel {

struct ChartRect {
    int left = 0;
    int top = 0;
    int right = 0;  // exclusive
    int bottom = 0;  // exclusive; the axis's 0 lies on bottom - 1

    bool operator==(const ChartRect&) const = default;
};

struct ChartTick {
    std::int64_t valueMs = 0;
    int y = 0;
};

struct ChartBar {
    ChartRect box;
    RecordedKind kind = RecordedKind::FullBoot;
    bool newest = false;
};

struct ChartGeometry {
    std::vector<ChartTick> ticks;  // from 0 upwards
    std::vector<ChartBar> bars;    // oldest first
    std::optional<std::int64_t> medianMs;
    int medianY = 0;  // when there is a median
};

// A tick's label: whole seconds where the step allows, else one decimal.
std::wstring TickText(std::int64_t valueMs, std::wstring_view decimalSeparator);

// starts: newest first, as the history holds them; the not-measured ones take no bar.
// plot: the area of the bars, the top tick on its top edge.
ChartGeometry LayoutChart(const std::vector<RecordedStart>& starts, ChartRect plot);

}  // namespace vossel
