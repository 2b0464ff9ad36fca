// Where the windows open: their design place when it fits a work area, else the shortest move.
#include <gtest/gtest.h>

#include <vector>

#include "platform/ui/placement.h"

namespace vossel::platform {

// Found by GoogleTest next to the type, for readable failures.
void PrintTo(const ScreenRect& r, std::ostream* out) {
    *out << "(" << r.left << ", " << r.top << ") - (" << r.right << ", " << r.bottom << ")";
}

namespace {

// Work areas: a 1920 x 1080 screen with a 40 px taskbar at the bottom, and smaller laptops.
constexpr ScreenRect kFullHd{0, 0, 1920, 1040};
constexpr ScreenRect kLaptop{0, 0, 1366, 728};
constexpr ScreenRect kSmall{0, 0, 1280, 680};
// A second monitor left of the primary one, its taskbar-free work area at negative x.
constexpr ScreenRect kLeftMonitor{-1280, -200, 0, 824};

TEST(Placement, KeepsAFittingWindowAndMovesTheOthersTheLeastDistance) {
    struct Case {
        const char* what;
        ScreenRect window;
        std::vector<ScreenRect> areas;
        ScreenRect placed;
    };
    const Case cases[] = {
        {"main window at 100 % fits", {1085, 524, 1368, 726}, {kFullHd}, {1085, 524, 1368, 726}},
        {"touching every edge still fits", {0, 0, 1920, 1040}, {kFullHd}, {0, 0, 1920, 1040}},
        {"150 %: past the right edge and under the taskbar",
         {1628, 795, 2053, 1090},
         {kFullHd},
         {1495, 745, 1920, 1040}},
        {"100 % on a laptop: two pixels past the right edge",
         {1085, 524, 1368, 726},
         {kLaptop},
         {1083, 524, 1366, 726}},
        {"past the left and top edges", {-30, -10, 250, 190}, {kSmall}, {0, 0, 280, 200}},
        {"larger than the work area keeps its top-left corner",
         {600, 300, 2600, 1500},
         {kSmall},
         {0, 0, 2000, 1200}},
        {"only wider than the work area", {100, 600, 1500, 800}, {kSmall}, {0, 480, 1400, 680}},
        {"wholly on the left monitor stays",
         {-900, -150, -600, 50},
         {kFullHd, kLeftMonitor},
         {-900, -150, -600, 50}},
        {"across the border, mostly left: onto the left monitor",
         {-300, 100, 100, 300},
         {kFullHd, kLeftMonitor},
         {-400, 100, 0, 300}},
        {"across the border, mostly right: onto the primary",
         {-100, 100, 300, 300},
         {kFullHd, kLeftMonitor},
         {0, 100, 400, 300}},
        {"above the left monitor",
         {-700, -400, -400, -200},
         {kFullHd, kLeftMonitor},
         {-700, -200, -400, 0}},
        {"far beyond the left monitor",
         {-3000, 900, -2700, 1100},
         {kFullHd, kLeftMonitor},
         {-1280, 624, -980, 824}},
        {"no monitor known: unchanged", {5000, 5000, 5100, 5100}, {}, {5000, 5000, 5100, 5100}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PlaceWindow(c.window, c.areas), c.placed) << c.what;
    }
}

TEST(Placement, SettingsWindowOpensBesideTheTopmostMainWindow) {
    // Outer rectangles of the two windows at 96 dpi on 1920 x 1080: already side by side.
    constexpr ScreenRect kMain{1085, 524, 1368, 726};
    constexpr ScreenRect kSettings{830, 592, 1051, 687};
    struct Case {
        const char* what;
        ScreenRect window;
        ScreenRect keepClear;
        ScreenRect area;
        ScreenRect placed;
    };
    const Case cases[] = {
        {"design places side by side stay", kSettings, kMain, kFullHd, kSettings},
        {"touching edges do not overlap",
         {864, 592, 1085, 687},
         kMain,
         kFullHd,
         {864, 592, 1085, 687}},
        {"no room on the left: to the right",
         {10, 100, 231, 195},
         {0, 50, 300, 250},
         kFullHd,
         {300, 100, 521, 195}},
        {"main as wide as the screen: below it",
         kSettings,
         {0, 500, 1920, 650},
         kFullHd,
         {830, 650, 1051, 745}},
        {"moved into the work area first, then aside",
         {1800, 1000, 2021, 1095},
         {1400, 700, 1920, 1040},
         kFullHd,
         {1179, 945, 1400, 1040}},
        {"side by side wins over a shorter move below",
         kSettings,
         {900, 500, 1200, 700},
         kFullHd,
         {679, 592, 900, 687}},
        {"no room anywhere: stays where it fits",
         {100, 100, 321, 195},
         {0, 0, 1280, 680},
         kSmall,
         {100, 100, 321, 195}},
    };
    for (const Case& c : cases) {
        const ScreenRect areas[] = {c.area};
        EXPECT_EQ(PlaceWindow(c.window, areas, &c.keepClear), c.placed) << c.what;
    }
}

TEST(Placement, GoesByTheVisibleFrameNotTheInvisibleBorders) {
    // Windows 10 at 150 %: 11 px of invisible border left, right and below the visible frame.
    constexpr ScreenRect kMain{1085, 524, 1368, 726};
    constexpr ScreenRect kMainFrame{1092, 524, 1361, 719};
    struct Case {
        const char* what;
        ScreenRect window;
        ScreenRect frame;
        const ScreenRect* keepClearFrame;
        ScreenRect placed;
    };
    const Case cases[] = {
        {"the frame fits, the invisible border need not",
         {1500, 800, 1927, 1047},
         {1507, 800, 1920, 1040},
         nullptr,
         {1500, 800, 1927, 1047}},
        {"the frame goes up to the taskbar and the screen's edge",
         {1628, 795, 2053, 1090},
         {1639, 795, 2042, 1079},
         nullptr,
         {1506, 756, 1931, 1051}},
        {"beside the main window with the frames touching",
         {1000, 592, 1221, 687},
         {1007, 592, 1214, 680},
         &kMainFrame,
         {878, 592, 1099, 687}},
        {"no frame known: the window rectangle is the frame", kMain, kMain, nullptr, kMain},
    };
    for (const Case& c : cases) {
        const ScreenRect areas[] = {kFullHd};
        EXPECT_EQ(PlaceWindowByFrame(c.window, c.frame, areas, c.keepClearFrame), c.placed)
            << c.what;
    }
}

}  // namespace
}  // namespace vossel::platform
