#pragma once
// Where a top-level window opens: at its design place when that lies wholly inside a monitor's
// work area, otherwise moved the least distance that brings it inside one. Platform-free so the
// unit tests can call it.
#include <cstdint>
#include <span>

namespace vossel::platform {

// Screen pixels; right and bottom are exclusive, as in a Windows RECT.
struct ScreenRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    constexpr int Width() const { return right - left; }
    constexpr int Height() const { return bottom - top; }
    constexpr bool operator==(const ScreenRect&) const = default;
};

constexpr bool Contains(const ScreenRect& outer, const ScreenRect& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

constexpr bool Overlaps(const ScreenRect& a, const ScreenRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

constexpr ScreenRect Offset(const ScreenRect& r, int dx, int dy) {
    return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

namespace detail {

// The least shift along one axis that brings [low, high) inside [areaLow, areaHigh); a span
// longer than the area keeps its start inside.
constexpr int AxisShift(int low, int high, int areaLow, int areaHigh) {
    if (high - low > areaHigh - areaLow || low < areaLow) return areaLow - low;
    if (high > areaHigh) return areaHigh - high;
    return 0;
}

constexpr std::int64_t SquaredDistance(const ScreenRect& from, const ScreenRect& to) {
    const std::int64_t dx = to.left - from.left;
    const std::int64_t dy = to.top - from.top;
    return dx * dx + dy * dy;
}

}  // namespace detail

// The window moved the least distance that brings it inside the area; a window larger than the
// area keeps its top-left corner inside, where its title bar and system menu are.
constexpr ScreenRect FitInto(const ScreenRect& window, const ScreenRect& area) {
    return Offset(window, detail::AxisShift(window.left, window.right, area.left, area.right),
                  detail::AxisShift(window.top, window.bottom, area.top, area.bottom));
}

// The window's place among the monitors' work areas. It stays exactly where it is when one work
// area holds it whole; otherwise it goes to the work area that needs the shortest move. When it
// would cover `keepClear` (a topmost window of the same program, which would hide it), it moves
// beside that window instead, or else above or below it, where it fits in the same work area.
constexpr ScreenRect PlaceWindow(const ScreenRect& window, std::span<const ScreenRect> workAreas,
                                 const ScreenRect* keepClear = nullptr) {
    if (workAreas.empty()) return window;
    ScreenRect placed = window;
    ScreenRect area = workAreas.front();
    bool inside = false;
    for (const ScreenRect& candidate : workAreas) {
        if (Contains(candidate, window)) {
            area = candidate;
            inside = true;
            break;
        }
    }
    if (!inside) {
        std::int64_t best = -1;
        for (const ScreenRect& candidate : workAreas) {
            const ScreenRect fitted = FitInto(window, candidate);
            const std::int64_t distance = detail::SquaredDistance(window, fitted);
            if (best < 0 || distance < best) {
                best = distance;
                placed = fitted;
                area = candidate;
            }
        }
    }
    if (!keepClear || !Overlaps(placed, *keepClear)) return placed;

    const ScreenRect& other = *keepClear;
    // Side by side where it fits so; above or below only where it does not.
    const ScreenRect aside[2][2] = {
        {Offset(placed, other.left - placed.right, 0),
         Offset(placed, other.right - placed.left, 0)},
        {Offset(placed, 0, other.top - placed.bottom),
         Offset(placed, 0, other.bottom - placed.top)},
    };
    ScreenRect chosen = placed;
    for (const auto& pair : aside) {
        std::int64_t best = -1;
        for (const ScreenRect& raw : pair) {
            // Slid into the work area; where that brings back the overlap, this side is no place.
            const ScreenRect candidate = FitInto(raw, area);
            if (!Contains(area, candidate) || Overlaps(candidate, other)) continue;
            const std::int64_t distance = detail::SquaredDistance(placed, candidate);
            if (best < 0 || distance < best) {
                best = distance;
                chosen = candidate;
            }
        }
        if (best >= 0) break;
    }
    return chosen;
}

// The same placement for the visible frame: on Windows 10 and 11 the window rectangle also holds
// invisible resize borders, which would keep the frame short of the taskbar and the screen's
// edge and leave a gap beside `keepClearFrame`. Returns where the window rectangle goes so that
// its frame lands where PlaceWindow puts the frame.
constexpr ScreenRect PlaceWindowByFrame(const ScreenRect& window, const ScreenRect& frame,
                                        std::span<const ScreenRect> workAreas,
                                        const ScreenRect* keepClearFrame = nullptr) {
    const ScreenRect placed = PlaceWindow(frame, workAreas, keepClearFrame);
    return Offset(window, placed.left - frame.left, placed.top - frame.top);
}

}  // namespace vossel::platform
