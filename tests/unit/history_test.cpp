#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "history/history_chart.h"
#include "history/start_history.h"
#include "history/startup_history.h"
#include "start/sign_in.h"
#include "start/start_record.h"
#include "start/start_record_format.h"
#include "table_texts.h"

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

// A format-1 record as the earlier version wrote it, 2 s after the shell: the whole span to the
// shell; a not-measured one at `start`.
Record Format1(std::uint32_t id, std::int64_t ms, std::uint64_t start) {
    const std::uint64_t shell = start + static_cast<std::uint64_t>(ms) * kMs;
    if (id == 1010)
        return {id, start, {L"1", L"", L"not measured", L"no shell", L"", L"", L"1", L"x64"}};
    return {id,
            shell + 2 * kSecond,
            {L"1", std::to_wstring(ms), id == 1001 ? L"full boot" : L"resume", L"", UtcText(start),
             UtcText(shell), L"1", L"x64"}};
}

// A first log-on's format-2 record as the recorder composes it, 2 s after the shell: the wait left
// out unless Windows signed in by itself.
Record FirstLogOn(std::uint64_t start, int windowsStart, int wait, int signingIn,
                  std::uint64_t place = 0, bool automatic = false) {
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
    m.durationMs = windowsStart + signingIn + (automatic ? wait : 0);
    if (automatic) m.waitIncluded = kAutomaticSignIn;
    return {m.kind == StartKind::FullBoot ? kEventFullBoot : kEventResume,
            m.shellCreatedUtc + 2 * kSecond, ComposeStartRecord(m, L"2", L"x64").strings};
}

// A later log-on of the start, hours after it.
Record LaterLogOn(std::uint64_t start) {
    StartMeasurement m = StartMeasurement::NotMeasured(kLaterLogon);
    m.logon = LogonKind::Later;
    m.startUtc = start;
    return {kEventNotMeasured, start + 3 * kHour, ComposeStartRecord(m, L"2", L"x64").strings};
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
    const std::uint64_t day = kInstant + 24 * kHour;
    const Record f1 = Format1(1001, 31'234, kInstant);
    const Record f2 = FirstLogOn(kInstant, 24'000, 95'000, 7'234);
    const Row r1{31'234, 0, false};
    const Row conflict{31'234, 0, true};
    constexpr std::int64_t kDays3 = 3 * 24 * 3'600'000LL;
    // clang-format off
    const std::vector<Case> cases = {
        // One start, several records; its number is its first log-on's.
        {"format 1: a later log-on shifted by the time service",
         {Format1(1001, 10'800'000, kInstant + 800 * kMs), f1}, {{31'234, 1, false}}, 0},
        {"format 2: later log-ons", {LaterLogOn(kInstant + 5 * kSecond), LaterLogOn(kInstant), f2},
         {{31'234, 2, false}}, 0},
        {"a later log-on whose start was not read", {LaterLogOn(kInstant)}, {}, 0},
        {"one measurement written twice", {FirstLogOn(kInstant + 2 * kSecond, 24'100, 95'000, 7'200), f2},
         {r1}, 0},
        {"21 s apart", {Format1(1001, 30'000, kInstant + 21 * kSecond), f1},
         {{30'000, 0, false}, r1}, 0},
        {"a resume at its own place", {FirstLogOn(kInstant + 3 * kSecond, 9'000, 4'000, 3'000, kHour), f2},
         {{12'000, 0, false}, r1}, 0},
        {"not measured, no start", {Format1(1010, 0, day), Format1(1010, 0, day), f1},
         {{-1, 0, false}, {-1, 0, false}, r1}, 0},
        // Records of one start that disagree: neither replaces the other.
        {"forged smaller, phases not adding up", {With(f2, 1, L"5000"), f2}, {r1}, 1},
        {"forged smaller with its phases", {FirstLogOn(kInstant, 2'000, 95'000, 3'000), f2},
         {{5'000, 0, true}, conflict}, 0},
        {"format 1: a later record, smaller", {Format1(1001, 5'000, kInstant), f1},
         {{5'000, 0, true}, conflict}, 0},
        {"another kind", {Format1(1002, 31'234, kInstant), f1}, {conflict, conflict}, 0},
        // Plausible even when slow; anything else left out and counted.
        {"a two-hour update start", {FirstLogOn(kInstant, 7'200'000, 60'000, 40'000)},
         {{7'240'000, 0, false}}, 0},
        {"format 1: three days at the sign-in screen", {Format1(1001, kDays3, kInstant)},
         {{kDays3, 0, false}}, 0},
        {"automatic sign-in", {FirstLogOn(kInstant, 24'000, 95'000, 7'234, 0, true)}, {{126'234, 0, false}}, 0},
        {"10^15 ms", {Format1(1001, 1'000'000'000'000'000, kInstant)}, {}, 1},
        {"4 * 10^16 ms", {With(f1, 1, L"40000000000000000")}, {}, 1},
        {"far negative", {With(f1, 1, L"-999999999999999999")}, {}, 1},
        {"not the span to the shell", {With(f1, 1, L"21234")}, {}, 1},
        {"a start after its record", {With(f1, 4, UtcText(kInstant + kHour))}, {}, 1},
        {"a record from tomorrow's clock", {Format1(1001, 31'234, kNow + 25 * kHour)}, {}, 1},
        {"a full boot off the kernel's place", {With(f2, 16, L"5000")}, {}, 1},
        {"Windows start over six hours", {FirstLogOn(kInstant, 25'200'000, 60'000, 40'000)}, {}, 1},
        {"a reason that is no token", {With(Format1(1010, 0, day), 3, L"\x202E" L"x")}, {}, 1},
        {"not a start record", {{1001, kInstant, {L"hello"}}}, {}, 1},
        {"a start before 1980", {Format1(1001, 31'234, *ParseUtcInstant(L"1979-12-31T23:00:00.000Z"))}, {}, 1},
        {"a start in 1601, which reads as none", {With(f1, 4, L"1601-01-01T00:00:00.000Z")}, {}, 1},
    };
    // clang-format on
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
    for (const Record& r :
         {LaterLogOn(kInstant), FirstLogOn(kInstant, 24'000, 95'000, 7'234, 0, true)}) {
        one.Add(r.id, r.time, r.values);
    }
    EXPECT_EQ(StartColumns(one.Starts()[0], L",", TableTexts(platform::UiLanguage::SimplifiedChinese)),
              (std::vector<std::wstring>{L"126,2", L"24,0", L"7,2", L"95,0（已计入）",
                                         L"完整启动，之后另有 1 次登录"}));
    EXPECT_EQ(StartColumns(one.Starts()[0], L".", TableTexts(platform::UiLanguage::English)),
              (std::vector<std::wstring>{L"126.2", L"24.0", L"7.2", L"95.0 (counted)",
                                         L"Full boot, later log-ons: 1"}));
    // A reason the program writes is told in the user's language; another as the record has it.
    RecordedStart notMeasured;
    notMeasured.kind = RecordedKind::NotMeasured;
    notMeasured.reason = L"shell restarted";
    EXPECT_EQ(StartColumns(notMeasured, L".", TableTexts(platform::UiLanguage::TraditionalChinese)).back(),
              L"未測量：桌面殼層已重新啟動");
    notMeasured.reason = L"gremlins";
    EXPECT_EQ(StartColumns(notMeasured, L".", TableTexts(platform::UiLanguage::English)).back(),
              L"Not measured: gremlins");
    // A start counts once in the summary, with its first-written record's number.
    Record forged = Format1(1001, 0, kInstant);
    forged.time = kNow - kHour;
    StartHistory conflicting(kNow);
    for (const Record& r : {forged, Format1(1001, 30'000, day), f1}) conflicting.Add(r.id, r.time, r.values);
    EXPECT_EQ(HistorySummary(conflicting.Starts(), L".", TableTexts(platform::UiLanguage::SimplifiedChinese)),
              L"最近 2 次开机，中位数 30.6 秒，最快 30.0 秒，最慢 31.2 秒");
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

// What started with the start at `start`, 90 s after it.
Record Programs(std::uint64_t start, std::vector<StartupProgram> programs,
                std::optional<std::int64_t> settledMs = 20'000) {
    const StartupReport report{{start, 0}, settledMs, 3'000, false, std::move(programs)};
    return {kEventStartupPrograms, start + 90 * kSecond + 40 * kSecond,
            ComposeStartupRecord(report, L"2", L"x64").strings};
}

TEST(StartupHistory, JoinsEachRecordToItsOwnStartOnly) {
    const std::uint64_t day = kInstant + 24 * kHour;
    const StartupProgram burner{L"Burner", L"b.exe", 1'600, 0, 2'000};
    const Record own = Programs(kInstant, {burner, {L"Idle", L"i.exe", 5, 4'096, 2'100}});
    const Record startDay = FirstLogOn(day, 24'000, 1'000, 7'000);
    const Record startInstant = FirstLogOn(kInstant, 24'000, 95'000, 7'234);
    std::vector<std::wstring> thousand = own.values;
    thousand[StartupRecordField::kProgramCount] = L"1000";
    for (int i = 0; i < 1000 * 6; ++i) thousand.push_back(L"9");
    struct Case {
        const char* name;
        Record forged;
        std::size_t leftOut;
        std::size_t dayPrograms;  // the start at `day`'s programs, after the forged record
    };
    // clang-format off
    const Case cases[] = {
        {"a start of its own", Programs(day, {{L"Forged", L"f.exe", 1, 1, 1}}), 0, 1},
        {"no start shown", Programs(day - 5 * kHour, {burner}), 0, 0},
        {"huge CPU", Programs(day, {{L"F", L"f.exe", 999'999'999'999'999'999, 0, 0}}), 1, 0},
        {"huge I/O", Programs(day, {{L"F", L"f.exe", 0, UINT64_MAX, 0}}), 1, 0},
        {"settled after an hour", Programs(day, {burner}, 3'600'001), 1, 0},
        {"a thousand programs", {kEventStartupPrograms, day + kHour, thousand}, 1, 0},
        {"broken strings", {kEventStartupPrograms, day + kHour, {L"1", L"\xD800", L"|;"}}, 1, 0},
        {"written before its start", {kEventStartupPrograms, day - kHour, Programs(day, {burner}).values}, 1, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartHistory history(kNow);
        for (const Record& r : {c.forged, startDay, own, startInstant}) history.Add(r.id, r.time, r.values);
        const std::vector<RecordedStart> starts = history.Starts();
        ASSERT_EQ(starts.size(), 2u);
        EXPECT_EQ(starts[0].startup ? starts[0].startup->programs.size() : 0, c.dayPrograms);
        ASSERT_TRUE(starts[1].startup);
        EXPECT_EQ(starts[1].startup->programs[0].entry, L"Burner");
        EXPECT_EQ(starts[1].durationMs, 31'234);
        EXPECT_EQ(history.LeftOut(), c.leftOut);
    }

    // The list and the line above it; an entry's processes of one start add up before the median.
    const StartupReport report = ParseStartupRecord(own.id, own.time, own.values).value().report;
    const auto zh = TableTexts(platform::UiLanguage::SimplifiedChinese);
    EXPECT_EQ(StartupProgramRows(report, L",", zh),
              (std::vector<std::vector<std::wstring>>{{L"Burner", L"高", L"1600", L"0", L"+2,0 秒"},
                                                      {L"Idle", L"低", L"5", L"4096", L"+2,1 秒"}}));
    EXPECT_EQ(StartupSummary(report, {std::nullopt, 30'000, 10'000, 60'000}, L".", zh),
              L"桌面在外壳出现后 20.0 秒安定；其他各次开机中位数 30.0 秒。Windows 和服务：3000 毫秒 CPU。");
    StartupReport b{{}, std::nullopt, 0, true, {{L"Burner", L"b.exe", 200, 0, 0}, {L"Burner", L"c.exe", 300, 7, 0}}};
    StartupReport c{{}, std::nullopt, 0, false, {{L"Burner", L"b.exe", 100, 0, 0}, {L"Late", L"l.exe", 400, 0, 0}}};
    EXPECT_EQ(StartupSummary(b, {std::nullopt}, L".", zh),
              L"桌面在观察的时间内没有安定；其他各次开机没有安定时间可比。Windows 和服务：0 毫秒 CPU。（观察提前结束，只有部分数据）");
    EXPECT_EQ(StartupSummary(b, {std::nullopt}, L".", TableTexts(platform::UiLanguage::English)),
              L"The desktop did not settle within the watch; no other start settled to compare with. "
              L"Windows and services: 0 ms CPU. (the watch ended early: partial figures)");
    EXPECT_EQ(EntrySummaryRows(SummarizeEntries({&report, &b, &c}), 3, zh),
              (std::vector<std::vector<std::wstring>>{{L"Burner", L"中", L"500", L"0", L"3 / 3"},
                                                      {L"Late", L"中", L"400", L"0", L"1 / 3"},
                                                      {L"Idle", L"低", L"5", L"4096", L"1 / 3"}}));
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
    constexpr std::int64_t kTop = 10'000'000'000'000;  // the furthest an axis reaches
    // clang-format off
    const std::vector<Case> cases = {
        {"none", {}, {0, 100, 200}, 0},
        {"31.2 s", {31'234}, {0, 10'000, 20'000, 30'000, 40'000}, 0},
        {"exactly 40 s", {40'000, 12'000}, {0, 10'000, 20'000, 30'000, 40'000}, 0},
        {"45 s", {45'000}, {0, 20'000, 40'000, 60'000}, 0},
        {"below a second", {350}, {0, 100, 200, 300, 400}, 0},
        {"two minutes", {121'000, 3'000}, {0, 50'000, 100'000, 150'000}, 0},
        {"an update start over 4 x the median", {25'000, 900'000, 27'000, 30'000, 28'000}, {0, 10'000, 20'000, 30'000}, 1},
        {"the largest numbers", {kMax, 30'000, kMax, 28'000, 29'000}, {0, 10'000, 20'000, 30'000}, 2},
        {"beyond what any axis reaches", {1'000'000'000'000'000}, {0, kTop / 2, kTop}, 1},
        {"the smallest number", {kMin, 30'000}, {0, 10'000, 20'000, 30'000}, 0},
    };
    // clang-format on
    const ChartRect plot{10, 20, 110, 121};  // the 0 line on y 120, 100 px high
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChartGeometry chart = LayoutChart(starts(c.durations), plot);
        std::vector<std::int64_t> ticks;
        for (const ChartTick& tick : chart.ticks) ticks.push_back(tick.valueMs);
        EXPECT_EQ(ticks, c.ticks);
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
    StartHistory history(kNow);  // newest first
    for (const Record& r : {Format1(1001, 33'000, kInstant),
                            FirstLogOn(kInstant - kHour, 20'000, 6'000, 10'000, 0, true),
                            FirstLogOn(kInstant - 2 * kHour, 20'000, 95'000, 10'000)}) {
        history.Add(r.id, r.time, r.values);
    }
    const ChartGeometry stacked = LayoutChart(history.Starts(), plot);
    using P = ChartPhase;
    using Segments = std::vector<ChartSegment>;
    ASSERT_EQ(stacked.bars.size(), 3u);
    EXPECT_EQ(stacked.bars[0].segments,
              (Segments{{P::WindowsStart, 70, 121}, {P::SigningIn, 45, 70}}));
    EXPECT_EQ(stacked.bars[1].segments,
              (Segments{{P::WindowsStart, 70, 121}, {P::Wait, 55, 70}, {P::SigningIn, 30, 55}}));
    EXPECT_EQ(stacked.bars[2].segments, (Segments{{P::Whole, 37, 121}}));

    const std::vector<RecordedStart> described{Bar(900'000), Bar(25'000), Bar(27'000),
                                               Bar(30'000), Bar(0, RecordedKind::NotMeasured)};
    EXPECT_EQ(ChartDescription(described, L".", TableTexts(platform::UiLanguage::SimplifiedChinese)),
              L"柱状图：4 次测得的开机用时，从左到右由旧到新；中位数 28.5 秒，最快 25.0 秒，"
              L"最慢 900.0 秒；1 根超出刻度，截断显示并标出数值。");
    EXPECT_EQ(ChartDescription(described, L".", TableTexts(platform::UiLanguage::TraditionalChinese)),
              L"長條圖：4 次測得的開機用時，從左到右由舊到新；中位數 28.5 秒，最快 25.0 秒，"
              L"最慢 900.0 秒；1 根超出刻度，截斷顯示並標出數值。");
}

}  // namespace
}  // namespace vossel
