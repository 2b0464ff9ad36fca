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
    const std::uint64_t nextDay = kInstant + 24 * kHour;
    const std::vector<Case> cases = {
        // One start, several records.
        {"format 1: a later log-on, its instant shifted by the time service, keeps the first's number",
         {Format1(1001, 3 * 3'600'000, kInstant + 800 * kMs), Format1(1001, 31'234, kInstant)},
         {{31'234, 1, false}},
         0},
        {"format 2: later log-ons count under their start and are never starts",
         {LaterLogOn(kInstant + 5 * kSecond), LaterLogOn(kInstant), Written(first)},
         {{31'234, 2, false}},
         0},
        {"a later log-on whose start was not read is not a start", {LaterLogOn(kInstant)}, {}, 0},
        {"format 2: the same measurement written twice is one start",
         {Written(FirstLogOn(kInstant + 2 * kSecond, 24'100, 95'000, 7'200)), Written(first)},
         {{31'234, 0, false}},
         0},
        {"21 s apart are two starts", {Format1(1001, 30'000, kInstant + 21 * kSecond),
                                       Format1(1001, 31'234, kInstant)},
         {{30'000, 0, false}, {31'234, 0, false}},
         0},
        {"a resume at its own place is another start than its kernel's",
         {Written(FirstLogOn(kInstant + 3 * kSecond, 9'000, 4'000, 3'000, 5 * kHour)),
          Written(first)},
         {{12'000, 0, false}, {31'234, 0, false}},
         0},
        // Records that disagree about one start: neither replaces the other.
        {"a forged smaller number written later stays beside the real one",
         {With(Written(first), 1, L"5000"), Written(first)},
         {{31'234, 0, false}},  // left out: its phases no longer add up to it
         1},
        {"a forged consistent smaller number conflicts",
         {Written(FirstLogOn(kInstant, 2'000, 95'000, 3'000)), Written(first)},
         {{5'000, 0, true}, {31'234, 0, true}},
         0},
        {"format 1: a later record with a smaller number is no later log-on",
         {Format1(1001, 5'000, kInstant), Format1(1001, 31'234, kInstant)},
         {{5'000, 0, true}, {31'234, 0, true}},
         0},
        {"another kind at the same instant conflicts",
         {Format1(1002, 31'234, kInstant), Format1(1001, 31'234, kInstant)},
         {{31'234, 0, true}, {31'234, 0, true}},
         0},
        {"not-measured records without a start each stay",
         {Format1(1010, 0, nextDay), Format1(1010, 0, nextDay), Format1(1001, 31'234, kInstant)},
         {{-1, 0, false}, {-1, 0, false}, {31'234, 0, false}},
         0},
        // Plausibility: what no real start writes is left out, and counted.
        {"a slow update start of two hours is real",
         {Written(FirstLogOn(kInstant, 2 * 3'600'000, 60'000, 40'000))},
         {{7'240'000, 0, false}},
         0},
        {"format 1: three days at the sign-in screen counted in",
         {Format1(1001, 3 * 24 * 3'600'000LL, kInstant)},
         {{3 * 24 * 3'600'000LL, 0, false}},
         0},
        {"automatic sign-in: the wait is in the number and the phases add up to it",
         {Written(Included(first))},
         {{126'234, 0, false}},
         0},
        {"10^15 ms", {Format1(1001, 1'000'000'000'000'000, kInstant)}, {}, 1},
        {"4 * 10^16 ms", {With(Format1(1001, 31'234, kInstant), 1, L"40000000000000000")}, {}, 1},
        {"far negative", {With(Format1(1001, 31'234, kInstant), 1, L"-999999999999999999")}, {}, 1},
        {"a number that is not the span to the shell",
         {With(Format1(1001, 31'234, kInstant), 1, L"21234")},
         {},
         1},
        {"a start after its record was written",
         {With(Format1(1001, 31'234, kInstant), 4, UtcText(kInstant + kHour))},
         {},
         1},
        {"a record from tomorrow's clock", {Format1(1001, 31'234, kNow + 25 * kHour)}, {}, 1},
        {"a full boot not at the kernel's place", {With(Written(first), 16, L"5000")}, {}, 1},
        {"Windows start beyond six hours",
         {Written(FirstLogOn(kInstant, 7 * 3'600'000, 60'000, 40'000))},
         {},
         1},
        {"a reason that is no token",
         {With(Format1(1010, 0, nextDay), 3, L"\x202E" L"forged")},
         {},
         1},
        {"not a start record at all", {{1001, kInstant, {L"hello"}}}, {}, 1},
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

    // What the list shows of a start: its phases, the wait, and what else was recorded of it.
    StartHistory one(kNow);
    for (const Record& r : {LaterLogOn(kInstant), Written(Included(first))}) one.Add(r.id, r.time, r.values);
    EXPECT_EQ(StartColumns(one.Starts()[0], L","),
              (std::vector<std::wstring>{L"126,2", L"24,0", L"7,2", L"95,0（已计入）",
                                         L"完整启动，之后另有 1 次登录"}));
    StartHistory old(kNow);
    old.Add(1001, kInstant + kHour, Format1(1001, 31'234, kInstant).values);
    EXPECT_EQ(StartColumns(old.Starts()[0], L"."),
              (std::vector<std::wstring>{L"31.2", L"", L"", L"已计入", L"完整启动"}));
    EXPECT_EQ(HistorySummary(one.Starts(), L","),
              L"最近 1 次开机，中位数 126,2 秒，最快 126,2 秒，最慢 126,2 秒");
    EXPECT_EQ(LeftOutText(3), L"已略去 3 条格式不符或数值不合理的记录。");
    EXPECT_EQ(TabSeparated({L"a", L"b"}, {{L"1.5", L"x\ty"}}), L"a\tb\r\n1.5\tx y\r\n");
}

TEST(StartHistory, StopsAtThirtyStartsOrAThousandRecords) {
    // Newest first, a day apart: the 31st start ends the reading, after the 30th is complete.
    StartHistory starts(kNow);
    for (std::uint64_t day = 0; day < kMaxStarts; ++day) {
        const Record later = Format1(1001, 4 * 3'600'000, kInstant - day * 24 * kHour);
        const Record first = Format1(1001, 30'000, kInstant - day * 24 * kHour);
        ASSERT_TRUE(starts.Add(later.id, later.time, later.values));
        ASSERT_TRUE(starts.Add(first.id, first.time, first.values));
    }
    const Record older = Format1(1001, 30'000, kInstant - 40 * 24 * kHour);
    EXPECT_FALSE(starts.Add(older.id, older.time, older.values));
    EXPECT_EQ(starts.Starts().size(), kMaxStarts);
    EXPECT_EQ(starts.Starts().back().durationMs, 30'000);

    // Records that are not ours end the reading after a fixed number, however many there are.
    StartHistory garbage(kNow);
    std::size_t examined = 1;
    while (garbage.Add(1001, kInstant, {L"x"})) ++examined;
    EXPECT_EQ(examined, kMaxRecordsExamined);
    EXPECT_EQ(garbage.LeftOut(), kMaxRecordsExamined);
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
        std::vector<std::int64_t> ticks;
        int cut;
    };
    const std::vector<Case> cases = {
        {"none", {}, {0, 100, 200}, 0},
        {"31.2 s", {31'234}, {0, 10'000, 20'000, 30'000, 40'000}, 0},
        {"exactly 40 s", {40'000, 12'000}, {0, 10'000, 20'000, 30'000, 40'000}, 0},
        {"45 s", {45'000}, {0, 20'000, 40'000, 60'000}, 0},
        {"below a second", {350}, {0, 100, 200, 300, 400}, 0},
        {"two minutes", {121'000, 3'000}, {0, 50'000, 100'000, 150'000}, 0},
        {"an update start four times the median is cut",
         {25'000, 900'000, 27'000, 30'000, 28'000}, {0, 10'000, 20'000, 30'000}, 1},
        {"the largest numbers overflow nothing", {kMax, 30'000, kMax, 28'000, 29'000},
         {0, 10'000, 20'000, 30'000}, 2},
        {"beyond what any axis reaches: cut", {1'000'000'000'000'000}, {}, 1},
        {"the smallest number lies on the 0 line", {kMin, 30'000}, {}, 0},
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
            EXPECT_GE(bar.box.top, plot.top);
            EXPECT_LE(bar.box.top, 120);
            EXPECT_EQ(bar.cut, bar.box.top == plot.top && bar.valueMs > chart.ticks.back().valueMs);
        }
        EXPECT_EQ(cut, c.cut);
        if (chart.medianMs) {
            EXPECT_GE(chart.medianY, plot.top);
            EXPECT_LE(chart.medianY, 120);
        }
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
    // Not-measured starts take no bar.
    std::vector<RecordedStart> mixed = starts({30'000});
    mixed.push_back(Bar(0, RecordedKind::NotMeasured));
    EXPECT_EQ(LayoutChart(mixed, plot).bars.size(), 1u);
    EXPECT_EQ(TickText(20'000, L","), L"20");
    EXPECT_EQ(TickText(200, L","), L"0,2");
}

TEST(HistoryChart, StacksThePhasesAndDescribesTheChart) {
    const ChartRect plot{10, 20, 110, 121};  // 0..40 s over 100 px: 2.5 px a second
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
    RecordedStart unknown = Bar(33'000);  // format 1: one bar, the wait in it
    const ChartGeometry chart = LayoutChart({unknown, included, excluded}, plot);
    ASSERT_EQ(chart.bars.size(), 3u);
    using P = ChartPhase;
    EXPECT_EQ(chart.bars[0].segments,
              (std::vector<ChartSegment>{{P::WindowsStart, 70, 121}, {P::SigningIn, 45, 70}}));
    EXPECT_EQ(chart.bars[1].segments,
              (std::vector<ChartSegment>{
                  {P::WindowsStart, 70, 121}, {P::Wait, 55, 70}, {P::SigningIn, 30, 55}}));
    EXPECT_EQ(chart.bars[2].segments, (std::vector<ChartSegment>{{P::Whole, 37, 121}}));
    EXPECT_TRUE(chart.bars[2].waitIncluded);

    const std::vector<RecordedStart> starts = {Bar(900'000), Bar(25'000), Bar(27'000), Bar(30'000),
                                               Bar(0, RecordedKind::NotMeasured)};
    EXPECT_EQ(ChartDescription(starts, L"."),
              L"柱状图：4 次测得的开机用时，从左到右由旧到新；中位数 28.5 秒，最快 25.0 秒，"
              L"最慢 900.0 秒；1 根超出刻度，截断显示并标出数值。");
    EXPECT_EQ(ChartDescription({Bar(0, RecordedKind::NotMeasured)}, L"."), L"");
}

}  // namespace
}  // namespace vossel
