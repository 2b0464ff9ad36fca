// Twips to pixels and the labels' line breaking.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/column_widths.h"
#include "platform/ui/text_fit.h"
#include "platform/ui/twips.h"
#include "platform/ui/word_wrap.h"

namespace vossel::platform {
namespace {

TEST(Twips, DesignRectanglesAtCommonDpis) {
    struct Case {
        TwipRect twips;
        int dpi;
        PixelRect pixels;
    };
    const Case cases[] = {
        // The main window's client area.
        {{16395, 8325, 4005, 2445}, 96, {1093, 555, 267, 163}},
        {{16395, 8325, 4005, 2445}, 120, {1366, 694, 334, 204}},
        {{16395, 8325, 4005, 2445}, 144, {1640, 833, 401, 245}},
        // The settings window and its button.
        {{12570, 9345, 3075, 840}, 96, {838, 623, 205, 56}},
        {{1920, 240, 735, 300}, 96, {128, 16, 49, 20}},
        {{1920, 240, 735, 300}, 120, {160, 20, 61, 25}},
        // The duration and seconds labels overlap by design between 232 and 241 px.
        {{1920, 840, 1695, 735}, 96, {128, 56, 113, 49}},
        {{3480, 960, 255, 255}, 96, {232, 64, 17, 17}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels)
            << c.twips.left << "," << c.twips.top << " at " << c.dpi;
    }
}

TEST(Twips, FontSizesAndNegativeOffsets) {
    EXPECT_EQ(PointsToPixels(1050, 96), 14);
    EXPECT_EQ(PointsToPixels(2625, 96), 35);
    EXPECT_EQ(PointsToPixels(900, 96), 12);
    EXPECT_EQ(PointsToPixels(900, 120), 15);
    // Positions left of or above the screen round the same way as positive ones.
    EXPECT_EQ(TwipsToPixels(-16395, 96), -1093);
    EXPECT_EQ(TwipsToPixels(-8, 96), -1);
    EXPECT_EQ(TwipsToPixels(7, 96), 0);
}

// One pixel per character, so widths are easy to follow.
int CharWidth(std::wstring_view run) { return static_cast<int>(run.size()); }

TEST(WordWrap, BreaksOnlyAtSpaces) {
    struct Case {
        std::wstring text;
        int width;
        std::vector<std::wstring> lines;
    };
    const Case cases[] = {
        {L"", 10, {}},
        {L"27.75", 10, {L"27.75"}},
        // No space: never split, however narrow the box (the box clips it instead).
        {L"您本次开机共用:", 3, {L"您本次开机共用:"}},
        {L"one two three", 7, {L"one two", L"three"}},
        {L"one two three", 6, {L"one", L"two", L"three"}},
        {L"one two three", 13, {L"one two three"}},
        {L"averyveryverylongword x", 5, {L"averyveryverylongword", L"x"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WrapAtSpaces(c.text, c.width, CharWidth), c.lines) << c.width;
    }
}

// A face whose glyphs are as wide as high, with a narrow point: "1412.214" is 7.5 heights wide.
int SegmentWidth(const std::wstring& text, int height) {
    int halves = 0;
    for (wchar_t c : text) halves += c == L'.' ? 1 : 2;
    return halves * height / 2;
}

TEST(TextFit, ShrinksOnlyWhatDoesNotFit) {
    struct Case {
        std::wstring text;
        int designHeight;
        int room;
        int height;
    };
    const Case cases[] = {
        // What fits is drawn at the design's height, however much room is left.
        {L"27.750", 16, 104, 16},
        {L"123.456", 16, 104, 16},
        // One pixel too wide at the design's height: one step down, not more.
        {L"1412.214", 14, 104, 13},
        {L"1412.214", 16, 104, 13},
        {L"99999.999", 16, 104, 12},
        // At 200 % everything doubles.
        {L"99999.999", 32, 208, 24},
        // Never below the smallest height, even when nothing fits.
        {L"99999.999", 16, 10, 6},
        {L"", 16, 0, 16},
    };
    for (const Case& c : cases) {
        const int height = FittingHeight(c.designHeight, 6, c.room,
                                         [&](int h) { return SegmentWidth(c.text, h); });
        EXPECT_EQ(height, c.height) << std::string(c.text.begin(), c.text.end()) << " in " << c.room;
        EXPECT_TRUE(height <= 6 || SegmentWidth(c.text, height) <= c.room) << c.room;
    }
}

TEST(ColumnWidths, SharedByWeightYetNeverBelowTheNeed) {
    struct Case {
        int total;
        std::vector<int> weights, needs, widths;
    };
    const Case cases[] = {
        // Room for every need: the weights alone, the last column with rounding's remainder.
        {101, {1, 1, 1}, {10, 10, 10}, {33, 33, 35}},
        // A long header takes from the others by their surplus, and the total stays.
        {120, {1, 1, 1}, {70, 10, 10}, {70, 25, 25}},
        {100, {2, 1, 1}, {10, 40, 10}, {39, 40, 21}},
        // More need than room: each column its need, and the list scrolls.
        {60, {1, 1}, {50, 40}, {50, 40}},
        {0, {1, 1}, {}, {0, 0}},
        {50, {}, {}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ColumnWidths(c.total, c.weights, c.needs), c.widths) << c.total;
    }
}

}  // namespace
}  // namespace vossel::platform
