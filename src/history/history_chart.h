#pragma once
// The history chart's geometry in pixels: the value axis from 0 with 3 to 5 round ticks, one bar
// per measured start (oldest on the left) stacked by its phases, and the median line. The axis
// follows the bulk of the starts: a bar far above it is cut at the top. The window only draws
// this. Every value is clamped before any arithmetic, so no record can overflow it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/start_history.h"

namespace vossel {

// A bar above this many times the median is an outlier, and the axis does not stretch to it.
inline constexpr std::int64_t kOutlierFactor = 4;

struct ChartRect {
    int left = 0;
    int top = 0;
    int right = 0;   // exclusive
    int bottom = 0;  // exclusive; the axis's 0 lies on bottom - 1

    bool operator==(const ChartRect&) const = default;
};

struct ChartTick {
    std::int64_t valueMs = 0;
    int y = 0;
};

// Windows start and signing in; the wait only where the number includes it. Whole: a bar whose
// phases are not known.
enum class ChartPhase { WindowsStart, Wait, SigningIn, Whole };

struct ChartSegment {
    ChartPhase phase = ChartPhase::Whole;
    int top = 0;
    int bottom = 0;  // exclusive

    bool operator==(const ChartSegment&) const = default;
};

struct ChartBar {
    ChartRect box;
    std::vector<ChartSegment> segments;  // from the bottom up, none empty
    RecordedKind kind = RecordedKind::FullBoot;
    bool newest = false;
    bool waitIncluded = false;
    bool cut = false;  // above the axis: drawn to its top, to be marked with its value
    std::int64_t valueMs = 0;
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

// The chart in one sentence for a screen reader: how many bars, their median, fastest and
// slowest, and how many are cut. Empty when there is no bar.
std::wstring ChartDescription(const std::vector<RecordedStart>& starts,
                              std::wstring_view decimalSeparator,
                              const platform::TextLookup& texts);

}  // namespace vossel
