#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "history/history_chart.h"
#include "history/start_history.h"
#include "start/sign_in.h"
#include "start/start_record.h"
#include "start/start_record_format.h"

namespace vossel {
namespace {

constexpr std::uint64_t kMs = 10'000;  // 100 ns units
constexpr std::uint64_t kSecond = 1000 * kMs;
constexpr std::uint64_t kHour = 3600 * kSecond;
// 2026-12-08T07:59:12.345Z as a FILETIME, and the reader's clock a month later.
constexpr std::uint64_t kInstant = 134411903523450000;
constexpr std::uint64_t kNow = kInstant + 30 * 24 * kHour;

struct Record {
    std::uint32_t id;
    std::uint64_t time;  // the event log's own
    std::vector<std::wstring> values;
};

// A format-1 record as the earlier version wrote it: the whole span to the shell, written just
// after the shell appeared; a not-measured one (ms unused) at `start`.
Record Format1(std::uint32_t id, std::int64_t ms, std::uint64_t start,
               std::uint64_t writtenAfterShell = 2 * kSecond) {
    if (id == 1010) {
        return {id, start, {L"1", L"", L"not measured", L"no shell", L"", L"", L"1.0.0.0", L"x64"}};
    }
    const wchar_t* kind = id == 1001 ? L"full boot" : L"resume";
    const std::uint64_t shell = start + static_cast<std::uint64_t>(ms) * kMs;
    return {id, shell + writtenAfterShell,
            {L"1", std::to_wstring(ms), kind, L"", UtcText(start), UtcText(shell), L"1.0.0.0",
             L"x64"}};
}

// A first log-on's format-2 record, composed as the recorder composes it: the wait left out.
StartMeasurement FirstLogOn(std::uint64_t start, std::int64_t windowsStart, std::int64_t wait,
                            std::int64_t signingIn, std::uint64_t place = 0) {
    StartMeasurement m;
    m.kind = place == 0 ? StartKind::FullBoot : StartKind::Resume;
    m.startUtc = start;
    m.startPlace = place;
    m.windowsStartMs = windowsStart;
    m.signInWaitMs = wait;
    m.signingInMs = signingIn;
    m.signInScreenUtc = start + static_cast<std::uint64_t>(windowsStart) * kMs;
    m.signedInUtc = m.signInScreenUtc + static_cast<std::uint64_t>(wait) * kMs;
    m.shellCreatedUtc = m.signedInUtc + static_cast<std::uint64_t>(signingIn) * kMs;
    m.durationMs = windowsStart + signingIn;
    return m;
}

Record Written(const StartMeasurement& m, std::uint64_t after = 2 * kSecond) {
    const StartRecord composed = ComposeStartRecord(m, L"2.0.0.0", L"x64");
    const std::uint64_t shell = m.shellCreatedUtc != 0 ? m.shellCreatedUtc : m.startUtc;
    return {composed.eventId, shell + after, composed.strings};
}

StartMeasurement Included(StartMeasurement m) {
    m.waitIncluded = kAutomaticSignIn;
    m.durationMs = *m.windowsStartMs + *m.signInWaitMs + *m.signingInMs;
    return m;
}

// A later log-on of the start, hours after it.
Record LaterLogOn(std::uint64_t start, std::uint64_t place = 0) {
    StartMeasurement m;
    m.kind = StartKind::NotMeasured;
    m.reason = kLaterLogon;
    m.logon = LogonKind::Later;
    m.startUtc = start;
    m.startPlace = place;
    return {kEventNotMeasured, start + 3 * kHour, ComposeStartRecord(m, L"2.0.0.0", L"x64").strings};
}

Record With(Record record, std::size_t field, std::wstring value) {
    record.values[field] = std::move(value);
    return record;
}

TEST(StartHistory, GroupsPlausibleRecordsIntoStarts) {
    struct Row {
        std::int64_t durationMs;  // -1: not measured
        int laterLogons;
        bool conflict;
    };
    struct Case {
        const char* name;
        std::vector<Record> newestFirst;
        std::vector<Row> rows;
        std::size_t leftOut;
    };
    const StartMeasurement first = FirstLogOn(kInstant, 24'000, 95'000, 7'234);
    const std::uint64_t day = kInstant + 24 * kHour;
    const Record v1 = Format1(1001, 31'234, kInstant);
    const std::vector<Case> cases = {
        // One start, several records; its number is its first log-on's.
        {"format 1: a later log-on, shifted by the time service",
         {Format1(1001, 3 * 3'600'000, kInstant + 800 * kMs), v1}, {{31'234, 1, false}}, 0},
        {"format 2: later log-ons",
         {LaterLogOn(kInstant + 5 * kSecond), LaterLogOn(kInstant), Written(first)},
         {{31'234, 2, false}}, 0},
        {"a later log-on whose start was not read", {LaterLogOn(kInstant)}, {}, 0},
        {"format 2: one measurement written twice",
         {Written(FirstLogOn(kInstant + 2 * kSecond, 24'100, 95'000, 7'200)), Written(first)},
         {{31'234, 0, false}}, 0},
        {"21 s apart", {Format1(1001, 30'000, kInstant + 21 * kSecond), v1},
         {{30'000, 0, false}, {31'234, 0, false}}, 0},
        {"a resume at its own place",
         {Written(FirstLogOn(kInstant + 3 * kSecond, 9'000, 4'000, 3'000, 5 * kHour)),
          Written(first)},
         {{12'000, 0, false}, {31'234, 0, false}}, 0},
        {"not measured, no start", {Format1(1010, 0, day), Format1(1010, 0, day), v1},
         {{-1, 0, false}, {-1, 0, false}, {31'234, 0, false}}, 0},
        // Records of one start that disagree: neither replaces the other.
        {"a forged smaller number whose phases do not add up",
         {With(Written(first), 1, L"5000"), Written(first)}, {{31'234, 0, false}}, 1},
        {"a forged smaller number with its phases",
         {Written(FirstLogOn(kInstant, 2'000, 95'000, 3'000)), Written(first)},
         {{5'000, 0, true}, {31'234, 0, true}}, 0},
        {"format 1: a later record with a smaller number", {Format1(1001, 5'000, kInstant), v1},
         {{5'000, 0, true}, {31'234, 0, true}}, 0},
        {"another kind", {Format1(1002, 31'234, kInstant), v1},
         {{31'234, 0, true}, {31'234, 0, true}}, 0},
        // Plausible, even when slow; anything else left out and counted.
        {"a two-hour update start",
         {Written(FirstLogOn(kInstant, 2 * 3'600'000, 60'000, 40'000))}, {{7'240'000, 0, false}}, 0},
        {"format 1: three days at the sign-in screen",
         {Format1(1001, 3 * 24 * 3'600'000LL, kInstant)}, {{3 * 24 * 3'600'000LL, 0, false}}, 0},
        {"automatic sign-in", {Written(Included(first))}, {{126'234, 0, false}}, 0},
        {"10^15 ms", {Format1(1001, 1'000'000'000'000'000, kInstant)}, {}, 1},
        {"4 * 10^16 ms", {With(v1, 1, L"40000000000000000")}, {}, 1},
        {"far negative", {With(v1, 1, L"-999999999999999999")}, {}, 1},
        {"not the span to the shell", {With(v1, 1, L"21234")}, {}, 1},
        {"a start after its record", {With(v1, 4, UtcText(kInstant + kHour))}, {}, 1},
        {"a record from tomorrow's clock", {Format1(1001, 31'234, kNow + 25 * kHour)}, {}, 1},
        {"a full boot off the kernel's place", {With(Written(first), 16, L"5000")}, {}, 1},
        {"Windows start over six hours",
         {Written(FirstLogOn(kInstant, 7 * 3'600'000, 60'000, 40'000))}, {}, 1},
        {"a reason that is no token", {With(Format1(1010, 0, day), 3, L"\x202E" L"x")}, {}, 1},
        {"not a start record", {{1001, kInstant, {L"hello"}}}, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartHistory history(kNow);
        for (const Record& r : c.newestFirst) EXPECT_TRUE(history.Add(r.id, r.time, r.values));
        const std::vector<RecordedStart> starts = history.Starts();
        ASSERT_EQ(starts.size(), c.rows.size());
        for (std::size_t i = 0; i < starts.size(); ++i) {
            EXPECT_EQ(starts[i].Measured() ? starts[i].durationMs : -1, c.rows[i].durationMs) << i;
            EXPECT_EQ(starts[i].laterLogons, c.rows[i].laterLogons) << i;
            EXPECT_EQ(starts[i].conflict, c.rows[i].conflict) << i;
        }
        EXPECT_EQ(history.LeftOut(), c.leftOut);
    }

    // The list: the phases, the wait, what else was recorded of the start.
    StartHistory one(kNow);
    for (const Record& r : {LaterLogOn(kInstant), Written(Included(first))}) {
        one.Add(r.id, r.time, r.values);
    }
    EXPECT_EQ(StartColumns(one.Starts()[0], L","),
              (std::vector<std::wstring>{L"126,2", L"24,0", L"7,2", L"95,0（已计入）",
                                         L"完整启动，之后另有 1 次登录"}));
    StartHistory old(kNow);
    old.Add(v1.id, v1.time, v1.values);
    EXPECT_EQ(StartColumns(old.Starts()[0], L"."),
              (std::vector<std::wstring>{L"31.2", L"", L"", L"已计入", L"完整启动"}));
    EXPECT_EQ(TabSeparated({L"a", L"b"}, {{L"1.5", L"x\ty"}}), L"a\tb\r\n1.5\tx y\r\n");

    // The 31st start ends the reading once the 30th is complete; so do 1000 records of any kind.
    StartHistory full(kNow);
    for (std::uint64_t d = 0; d < kMaxStarts; ++d) {
        for (const Record& r : {Format1(1001, 4 * 3'600'000, kInstant - d * 24 * kHour),
                                Format1(1001, 30'000, kInstant - d * 24 * kHour)}) {
            ASSERT_TRUE(full.Add(r.id, r.time, r.values));
        }
    }
    const Record older = Format1(1001, 30'000, kInstant - 40 * 24 * kHour);
    EXPECT_FALSE(full.Add(older.id, older.time, older.values));
    EXPECT_EQ(full.Starts().size(), kMaxStarts);
    StartHistory garbage(kNow);
    std::size_t examined = 1;
    while (garbage.Add(1001, kInstant, {L"x"})) ++examined;
    EXPECT_EQ(examined, kMaxRecordsExamined);
}

RecordedStart Bar(std::int64_t ms, RecordedKind kind = RecordedKind::FullBoot) {
    RecordedStart start;
    start.kind = kind;
    start.durationMs = ms;
    return start;
}

TEST(HistoryChart, ScalesTicksBarsAndMedian) {
    const auto starts = [](std::vector<std::int64_t> newestFirst) {
        std::vector<RecordedStart> result;
        for (std::int64_t ms : newestFirst) result.push_back(Bar(ms));
        return result;
    };
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    struct Case {
        const char* name;
        std::vector<std::int64_t> durations;
        std::vector<std::int64_t> ticks;  // empty: not checked
        int cut;
    };
    const std::vector<Case> cases = {
        {"none", {}, {0, 100, 200}, 0},
        {"31.2 s", {31'234}, {0, 10'000, 20'000, 30'000, 40'000}, 0},
        {"exactly 40 s", {40'000, 12'000}, {0, 10'000, 20'000, 30'000, 40'000}, 0},
        {"45 s", {45'000}, {0, 20'000, 40'000, 60'000}, 0},
        {"below a second", {350}, {0, 100, 200, 300, 400}, 0},
        {"two minutes", {121'000, 3'000}, {0, 50'000, 100'000, 150'000}, 0},
        {"an update start over four times the median",
         {25'000, 900'000, 27'000, 30'000, 28'000}, {0, 10'000, 20'000, 30'000}, 1},
        {"the largest numbers", {kMax, 30'000, kMax, 28'000, 29'000}, {0, 10'000, 20'000, 30'000}, 2},
        {"beyond what any axis reaches", {1'000'000'000'000'000}, {}, 1},
        {"the smallest number", {kMin, 30'000}, {}, 0},
    };
    const ChartRect plot{10, 20, 110, 121};  // the 0 line on y 120, 100 px high
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChartGeometry chart = LayoutChart(starts(c.durations), plot);
        std::vector<std::int64_t> ticks;
        for (const ChartTick& tick : chart.ticks) ticks.push_back(tick.valueMs);
        if (!c.ticks.empty()) {
            EXPECT_EQ(ticks, c.ticks);
        }
        EXPECT_EQ(chart.ticks.front().y, 120);
        EXPECT_EQ(chart.ticks.back().y, 20);
        ASSERT_EQ(chart.bars.size(), c.durations.size());
        int cut = 0;
        for (const ChartBar& bar : chart.bars) {
            cut += bar.cut ? 1 : 0;
            EXPECT_TRUE(bar.box.top >= plot.top && bar.box.top <= 120) << bar.box.top;
            EXPECT_EQ(bar.cut, bar.box.top == plot.top && bar.valueMs > ticks.back());
        }
        EXPECT_EQ(cut, c.cut);
        EXPECT_TRUE(!chart.medianMs || (chart.medianY >= plot.top && chart.medianY <= 120));
    }
    // Oldest on the left; 40 s on a 0..40 axis fills the height; the newest is marked.
    const ChartGeometry two = LayoutChart(starts({40'000, 10'000}), plot);
    ASSERT_EQ(two.bars.size(), 2u);
    EXPECT_EQ(two.bars[0].box, (ChartRect{18, 95, 52, 121}));
    EXPECT_EQ(two.bars[1].box, (ChartRect{68, 20, 102, 121}));
    EXPECT_TRUE(!two.bars[0].newest && two.bars[1].newest);
    EXPECT_EQ(two.medianMs, 25'000);
    EXPECT_EQ(two.medianY, 57);
    EXPECT_EQ(LayoutChart({Bar(0, RecordedKind::NotMeasured)}, plot).bars.size(), 0u);
    EXPECT_EQ(TickText(20'000, L","), L"20");
    EXPECT_EQ(TickText(200, L","), L"0,2");

    // Stacked: Windows start, the wait only where the number includes it, signing in; format 1
    // undivided. 0..40 s over 100 px.
    RecordedStart excluded = Bar(30'000);
    excluded.format = 2;
    excluded.windowsStartMs = 20'000;
    excluded.signInWaitMs = 95'000;
    excluded.signingInMs = 10'000;
    excluded.waitIncluded = false;
    RecordedStart included = excluded;
    included.durationMs = 36'000;
    included.signInWaitMs = 6'000;
    included.waitIncluded = true;
    const ChartGeometry stacked = LayoutChart({Bar(33'000), included, excluded}, plot);
    using P = ChartPhase;
    using Segments = std::vector<ChartSegment>;
    ASSERT_EQ(stacked.bars.size(), 3u);
    EXPECT_EQ(stacked.bars[0].segments, (Segments{{P::WindowsStart, 70, 121}, {P::SigningIn, 45, 70}}));
    EXPECT_EQ(stacked.bars[1].segments,
              (Segments{{P::WindowsStart, 70, 121}, {P::Wait, 55, 70}, {P::SigningIn, 30, 55}}));
    EXPECT_EQ(stacked.bars[2].segments, (Segments{{P::Whole, 37, 121}}));

    EXPECT_EQ(ChartDescription({Bar(900'000), Bar(25'000), Bar(27'000), Bar(30'000),
                                Bar(0, RecordedKind::NotMeasured)}, L"."),
              L"柱状图：4 次测得的开机用时，从左到右由旧到新；中位数 28.5 秒，最快 25.0 秒，"
              L"最慢 900.0 秒；1 根超出刻度，截断显示并标出数值。");
}

}  // namespace
}  // namespace vossel
