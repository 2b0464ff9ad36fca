#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "history/history_chart.h"
#include "history/start_history.h"

namespace vossel {
namespace {

// 2026-12-08T07:59:12.345Z as a FILETIME.
constexpr std::uint64_t kInstant = 134411903523450000;

std::vector<std::wstring> Values(const wchar_t* ms, const wchar_t* kind, const wchar_t* reason,
                                 const wchar_t* start) {
    return {L"1", ms, kind, reason, start, L"", L"1.0.0.0", L"x64"};
}

TEST(StartHistory, ParsesRecordsAndKeepsOneStartPerInstant) {
    struct Case {
        const char* name;
        std::uint32_t id;
        std::vector<std::wstring> values;
        bool parsed;
        std::int64_t durationMs;
    };
    const wchar_t* at = L"2026-12-08T07:59:12.345Z";
    std::vector<std::wstring> longer = Values(L"31234", L"full boot", L"", at);
    longer.push_back(L"a later version's value");
    const std::vector<Case> cases = {
        {"full boot", 1001, Values(L"31234", L"full boot", L"", at), true, 31234},
        {"negative", 1002, Values(L"-250", L"resume", L"", at), true, -250},
        {"later versions append", 1001, longer, true, 31234},
        {"unknown format", 1001, {L"2", L"31234", L"full boot", L"", at, L"", L"", L""}, false, 0},
        {"too few values", 1001, {L"1", L"31234", L"full boot", L"", at}, false, 0},
        {"kind against ID", 1002, Values(L"31234", L"full boot", L"", at), false, 0},
        {"unknown ID", 1005, Values(L"31234", L"full boot", L"", at), false, 0},
        {"no duration", 1001, Values(L"", L"full boot", L"", at), false, 0},
        {"bad duration", 1001, Values(L"31.2", L"full boot", L"", at), false, 0},
        {"no instant", 1001, Values(L"31234", L"full boot", L"", L""), false, 0},
    };
    for (const Case& c : cases) {
        const auto start = ParseRecordedStart(c.id, 5, c.values);
        ASSERT_EQ(start.has_value(), c.parsed) << c.name;
        if (start) {
            EXPECT_EQ(start->durationMs, c.durationMs) << c.name;
            EXPECT_EQ(start->time, kInstant) << c.name;
        }
    }
    const auto notMeasured = ParseRecordedStart(1010, 77, Values(L"", L"not measured", L"no shell", L""));
    ASSERT_TRUE(notMeasured);
    EXPECT_EQ(notMeasured->time, 77u);
    EXPECT_EQ(KindColumn(*notMeasured), L"未测量：no shell");
    EXPECT_EQ(SecondsColumn(*notMeasured, L","), L"--");

    // Newest first: two later log-ons of one start, then its first; not-measured ones each stay.
    StartHistory history;
    const auto measured = [](std::uint64_t t, std::int64_t ms) {
        return RecordedStart{RecordedKind::FullBoot, t, ms, L""};
    };
    const RecordedStart none{RecordedKind::NotMeasured, 9, 0, L"no shell"};
    for (const RecordedStart& s : {measured(100, 90'000), none, measured(100, 60'000), none,
                                   measured(100, 31'000), measured(50, 40'000)}) {
        EXPECT_TRUE(history.Add(s));
    }
    ASSERT_EQ(history.Starts().size(), 4u);
    EXPECT_EQ(history.Starts()[0].durationMs, 31'000);
    EXPECT_EQ(history.Starts()[3].time, 50u);
    EXPECT_EQ(HistorySummary(history.Starts(), L","),
              L"最近 4 次开机，中位数 35,5 秒，最快 31,0 秒，最慢 40,0 秒");
    // Full at kMaxStarts: a new start ends the reading, a duplicate still merges.
    for (std::uint64_t t = 1; history.Starts().size() < kMaxStarts; ++t) history.Add(measured(t, 1));
    EXPECT_FALSE(history.Add(measured(1000, 5)));
    EXPECT_TRUE(history.Add(measured(100, 20'000)));
    EXPECT_EQ(history.Starts()[0].durationMs, 20'000);
    EXPECT_EQ(HistorySummary({none}, L"."), L"最近 1 次开机，中位数 -- 秒，最快 -- 秒，最慢 -- 秒");
    EXPECT_EQ(TabSeparated({{L"a", L"1.5", L"x\ty"}}), L"开机时间\t秒\t方式\r\na\t1.5\tx y\r\n");
}

TEST(HistoryChart, ScalesTicksBarsAndMedian) {
    const auto starts = [](std::vector<std::int64_t> newestFirst) {
        std::vector<RecordedStart> result;
        for (std::int64_t ms : newestFirst) {
            result.push_back({ms < 0 && ms != -1 ? RecordedKind::Resume : RecordedKind::FullBoot,
                              0, ms, L""});
        }
        return result;
    };
    struct Case {
        const char* name;
        std::vector<std::int64_t> durations;
        std::vector<std::int64_t> ticks;
    };
    const std::vector<Case> cases = {
        {"none", {}, {0, 100, 200}},
        {"31.2 s", {31'234}, {0, 10'000, 20'000, 30'000, 40'000}},
        {"exactly 40 s", {40'000, 12'000}, {0, 10'000, 20'000, 30'000, 40'000}},
        {"45 s", {45'000}, {0, 20'000, 40'000, 60'000}},
        {"below a second", {350}, {0, 100, 200, 300, 400}},
        {"two minutes", {121'000, 3'000}, {0, 50'000, 100'000, 150'000}},
    };
    const ChartRect plot{10, 20, 110, 121};  // the 0 line on y 120, 100 px high
    for (const Case& c : cases) {
        const ChartGeometry chart = LayoutChart(starts(c.durations), plot);
        std::vector<std::int64_t> ticks;
        for (const ChartTick& tick : chart.ticks) ticks.push_back(tick.valueMs);
        EXPECT_EQ(ticks, c.ticks) << c.name;
        EXPECT_EQ(chart.ticks.front().y, 120) << c.name;
        EXPECT_EQ(chart.ticks.back().y, 20) << c.name;
        EXPECT_EQ(chart.bars.size(), c.durations.size()) << c.name;
    }
    // Oldest on the left; 40 s on a 0..40 axis fills the height; the newest is marked.
    const ChartGeometry two = LayoutChart(starts({40'000, 10'000}), plot);
    ASSERT_EQ(two.bars.size(), 2u);
    EXPECT_EQ(two.bars[0].box, (ChartRect{18, 95, 52, 121}));
    EXPECT_EQ(two.bars[1].box, (ChartRect{68, 20, 102, 121}));
    EXPECT_FALSE(two.bars[0].newest);
    EXPECT_TRUE(two.bars[1].newest);
    EXPECT_EQ(two.medianMs, 25'000);
    EXPECT_EQ(two.medianY, 57);
    // A negative duration stays on the 0 line; not-measured starts take no bar.
    std::vector<RecordedStart> mixed = starts({-250, 30'000});
    mixed.push_back({RecordedKind::NotMeasured, 0, 0, L"clock"});
    const ChartGeometry negative = LayoutChart(mixed, plot);
    ASSERT_EQ(negative.bars.size(), 2u);
    EXPECT_EQ(negative.bars[1].box.top, 120);
    EXPECT_EQ(negative.bars[1].kind, RecordedKind::Resume);
    EXPECT_EQ(TickText(20'000, L","), L"20");
    EXPECT_EQ(TickText(200, L","), L"0,2");
}

}  // namespace
}  // namespace vossel
