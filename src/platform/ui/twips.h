#pragma once
// Twips (1/1440 inch) to pixels at a given screen DPI. Platform-free so the unit tests can call it.
#include <cstdint>

namespace vossel::platform {

inline constexpr int kTwipsPerInch = 1440;

// Rounds to the nearest pixel, halves away from zero, like MulDiv.
constexpr int TwipsToPixels(int twips, int dpi) {
    const std::int64_t scaled = static_cast<std::int64_t>(twips) * dpi;
    const std::int64_t half = kTwipsPerInch / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / kTwipsPerInch
                                        : -((-scaled + half) / kTwipsPerInch));
}

// Font height in pixels for a size in hundredths of a point (10.5 pt = 1050).
constexpr int PointsToPixels(int centipoints, int dpi) {
    const std::int64_t scaled = static_cast<std::int64_t>(centipoints) * dpi;
    return static_cast<int>((scaled + 3600) / 7200);
}

struct TwipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    constexpr bool operator==(const PixelRect&) const = default;
};

constexpr PixelRect TwipsToPixels(const TwipRect& r, int dpi) {
    return {TwipsToPixels(r.left, dpi), TwipsToPixels(r.top, dpi), TwipsToPixels(r.width, dpi),
            TwipsToPixels(r.height, dpi)};
}

}  // namespace vossel::platform
