// The history window end to end, through the test-only build that takes its start records from
// VOSSEL_TEST_HISTORY (Wine cannot query the event log): the list's rows and the chart's phases,
// read from outside, and the window's texts as a screen reader reads them, from both builds.
//
// IAccessible's interface id comes from __uuidof: see accessibility_test.cpp.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "harness.h"

namespace vossel::e2e {
namespace {

constexpr std::uint64_t kMs = 10'000;  // 100 ns units
constexpr std::uint64_t kHour = 3'600'000 * kMs;

// A FILETIME as the records write it: 2026-12-08T07:59:12.345Z.
std::wstring Utc(std::uint64_t filetime) {
    FILETIME time{static_cast<DWORD>(filetime), static_cast<DWORD>(filetime >> 32)};
    SYSTEMTIME t{};
    FileTimeToSystemTime(&time, &t);
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth, t.wDay, t.wHour,
             t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

std::uint64_t Yesterday() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return ((std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime) - 24 * kHour;
}

// A record of VOSSEL_TEST_HISTORY, 2 s after its shell. Format 2 with phases (ms), the wait left
// out unless Windows signed in by itself; format 1 without; a later log-on's (ms 0) no number.
std::wstring Record(std::uint64_t start, int ms, std::vector<int> phases = {},
                    bool automatic = false) {
    const bool later = ms == 0;
    std::uint64_t at[3] = {start, start, start + ms * kMs};  // sign-in screen, sign-in, shell
    for (std::size_t i = 0; i < phases.size(); ++i)
        at[i] = (i ? at[i - 1] : start) + phases[i] * kMs;
    const auto n = [](std::uint64_t v) { return std::to_wstring(v); };
    std::vector<std::wstring> fields = {later ? L"1010" : L"1001",
                                        n(later ? start + 3 * kHour : at[2] + 2000 * kMs),
                                        phases.empty() && !later ? L"1" : L"2",
                                        later ? L"" : n(ms),
                                        later ? L"not measured" : L"full boot",
                                        later ? L"later log-on" : L"",
                                        Utc(start),
                                        later ? L"" : Utc(at[2]),
                                        L"1.0",
                                        L"x64"};
    if (later)
        fields.insert(fields.end(), {L"later log-on", L"", L"", L"", L"", L"", L"", L"", L"0"});
    if (!phases.empty()) {
        fields.insert(fields.end(),
                      {L"first log-on", n(phases[0]), n(phases[1]), n(phases[2]),
                       automatic ? L"included" : L"excluded",
                       automatic ? L"automatic sign-in" : L"", Utc(at[0]), Utc(at[1]), L"0"});
    }
    std::wstring entry;
    for (const std::wstring& field : fields) entry += (entry.empty() ? L"" : L"|") + field;
    return entry + L";";
}

// A record of what started with the start at `start`, 90 s after its shell: each program as
// entry, rating, CPU ms, I/O bytes.
struct Program {
    const wchar_t* entry;
    const wchar_t* rating;
    long long cpuMs;
    long long ioBytes;
};
std::wstring Programs(std::uint64_t start, int shellMs, int settledMs,
                      const std::vector<Program>& programs) {
    const auto n = [](auto v) { return std::to_wstring(v); };
    std::wstring entry = L"1020|" + n(start + (shellMs + 90'000) * kMs) + L"|1|" + Utc(start) +
                         L"|0|1.0|x64|" + n(settledMs) + L"|" + n(settledMs) +
                         L" ms after the shell|3000|complete|" + n(programs.size()) + L"|";
    for (const Program& p : programs) {
        entry += L"|" + std::wstring(p.entry) + L"|" + p.entry + L".exe|" + n(p.cpuMs) + L"|" +
                 n(p.ioBytes) + L"|" + p.rating + L"|2500";
    }
    return entry + L";";
}

std::unique_ptr<Target> Launch(const std::wstring& exe, const std::wstring& records) {
    EnvironmentOverride history(L"VOSSEL_TEST_HISTORY", records);
    return std::make_unique<Target>(exe, std::wstring{}, L"/history");
}

// The history window once the line `read` came.
HWND WindowAfter(const Target& target, const char* read) {
    if (!target.Started() || !target.WaitForPrefix(read, kStartTimeoutMs)) return nullptr;
    const std::vector<HWND> windows = WindowsOfClass(target.ProcessId(), L"VosselHistory");
    return windows.size() == 1 && Settle(windows[0]) ? windows[0] : nullptr;
}

// What a screen reader finds, in order: each control's name unless it is hidden. Wine's proxy
// gives every control the role of a client area; Windows' the static texts ROLE_SYSTEM_STATICTEXT
// and the list ROLE_SYSTEM_LIST. The names are the window texts on both, except the link's: Wine's
// proxy reads its markup too, which is taken off here.
std::vector<std::wstring> ReadableTexts(HWND window) {
    std::vector<std::wstring> texts;
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        Microsoft::WRL::ComPtr<IAccessible> object;
        BSTR name = nullptr;
        VARIANT state{};
        if (FAILED(AccessibleObjectFromWindow(child, static_cast<DWORD>(OBJID_CLIENT),
                                              __uuidof(IAccessible),
                                              reinterpret_cast<void**>(object.GetAddressOf()))) ||
            FAILED(object->get_accState(self, &state)) || (state.lVal & STATE_SYSTEM_INVISIBLE) ||
            FAILED(object->get_accName(self, &name)) || !name) {
            continue;
        }
        std::wstring text(name, SysStringLen(name));
        SysFreeString(name);
        if (text.size() > 7 && text.rfind(L"<a>", 0) == 0 && text.ends_with(L"</a>"))
            text = text.substr(3, text.size() - 7);
        texts.push_back(std::move(text));
    }
    return texts;
}

// Newest first: an update start far above the others; signed in by Windows itself; a forged
// record; a start with a later log-on that the time service shifted; format 1 the same.
// What started with the two newest starts, and a forged record of huge figures for the third.
std::wstring WeekOfStarts(std::uint64_t day) {
    return Programs(day, 930'000, 20'000,
                 {{L"Half", L"Medium", 500, 0}, {L"Burner", L"High", 1'600, 0},
                  {L"Idle", L"Low", 3, 0}, {L"Ender", L"High", 1'200, 0}}) +
        Record(day, 930'000, {900'000, 4'000, 30'000}) +
        Programs(day - 24 * kHour, 28'000, 25'000,
                 {{L"Burner", L"High", 1'400, 0}, {L"Idle", L"Low", 2, 0}}) +
        Record(day - 24 * kHour, 28'000, {21'000, 0, 7'000}) +
        Programs(day - 48 * kHour, 40'000, 1, {{L"Forged", L"High", 99'999'999'999'999, 0}}) +
        Record(day - 48 * kHour, 40'000, {20'000, 12'000, 8'000}, true) +
        Record(day - 60 * kHour, 1'000'000'000) + Record(day - 72 * kHour + 900 * kMs, 0) +
        Record(day - 72 * kHour, 31'234, {24'000, 95'000, 7'234}) +
        Record(day - 96 * kHour + 400 * kMs, 3 * 3'600'000) + Record(day - 96 * kHour, 31'234);
}

TEST(History, ShowsEachStartOnceInItsPhases) {
    const std::wstring records = WeekOfStarts(Yesterday());
    const auto launched = Launch(Directory(TargetExe()) + L"\\fault-history\\Vossel.exe", records);
    const Target& target = *launched;
    HWND window = WindowAfter(target, "Vossel: history read 5");
    ASSERT_NE(window, nullptr) << AllLines(target);
    EXPECT_TRUE(target.WaitForPrefix("Vossel: history left out 2", kStepTimeoutMs));
    // The line the bench times: the paint with what was read.
    EXPECT_TRUE(target.WaitForPrefix("Vossel: history painted 5", kStepTimeoutMs));
    HWND list = Control(window, 101);
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 5);
    using Row = std::vector<std::wstring>;
    const std::vector<Row> rows = {
        // 秒, Windows 启动, 登录, 登录界面等待, 方式
        {L"930.0", L"900.0", L"30.0", L"4.0", L"完整启动"},
        {L"28.0", L"21.0", L"7.0", L"0.0", L"完整启动"},
        {L"40.0", L"20.0", L"8.0", L"12.0（已计入）", L"完整启动"},
        {L"31.2", L"24.0", L"7.2", L"95.0", L"完整启动，之后另有 1 次登录"},
        {L"31.2", L"", L"", L"已计入", L"完整启动，之后另有 1 次登录"}};
    for (int r = 0; r < 5; ++r) {
        Row row;
        for (int c = 1; c <= 5; ++c) row.push_back(ListText(target, list, r, c));
        EXPECT_EQ(row, rows[r]) << r;
    }
    // The newest start's programs slowest first, as a screen reader reads them; the entries of the
    // shown starts by their medians; the forged record changed no row.
    const auto cells = [&](int id, int rows) {
        std::vector<Row> read;
        for (int r = 0; r < rows; ++r) {
            Row row;
            for (int c = 0; c < 5; ++c) row.push_back(ListText(target, Control(window, id), r, c));
            read.push_back(row);
        }
        return read;
    };
    const std::vector<Row> programs = {{L"Burner", L"高", L"1600", L"0", L"+2.5 秒"},
                                       {L"Ender", L"高", L"1200", L"0", L"+2.5 秒"},
                                       {L"Half", L"中", L"500", L"0", L"+2.5 秒"},
                                       {L"Idle", L"低", L"3", L"0", L"+2.5 秒"}};
    EXPECT_EQ(cells(106, 4), programs);
    EXPECT_EQ(SendMessageW(Control(window, 106), LVM_GETITEMCOUNT, 0, 0), 4);
    EXPECT_EQ(cells(107, 4), (std::vector<Row>{{L"Burner", L"高", L"1500", L"0", L"2 / 2"},
                                               {L"Ender", L"高", L"1200", L"0", L"1 / 2"},
                                               {L"Half", L"中", L"500", L"0", L"1 / 2"},
                                               {L"Idle", L"低", L"2", L"0", L"2 / 2"}}));
    const std::vector<std::wstring> texts = ReadableTexts(window);
    ASSERT_GE(texts.size(), 5u);
    EXPECT_EQ(texts[texts.size() - 4],
              L"桌面在外壳出现后 20.0 秒安定；其他各次开机中位数 25.0 秒。Windows 和服务：3000 毫秒 CPU。");
    // The next start by the keyboard: its two programs.
    SetForegroundWindow(window);
    SetFocus(list);
    PostMessageW(list, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_TRUE(target.WaitForPrefix("Vossel: history programs 2", kStepTimeoutMs)) << AllLines(target);
    // Each phase in its shade, the format-1 start undivided, the update start cut.
    HWND chart = Control(window, 104);
    ASSERT_TRUE(ForcePaint(window) && chart);
    SaveScreenshotPng(L"history");
    const Image screen = Screenshot();
    const RECT plot = ClientRectOnScreen(chart);
    EXPECT_GT(CountNear(screen, plot, RGB(0x2F, 0x6F, 0xC8), 12), 500) << "Windows start";
    EXPECT_GT(CountNear(screen, plot, RGB(0x8C, 0xB4, 0xEC), 12), 100) << "signing in";
    EXPECT_GT(CountNear(screen, plot, RGB(0x5A, 0x8F, 0xDA), 12), 100) << "undivided";
    // The link to Windows' place for start-up apps, by the keyboard: three Tabs from the starts
    // through both lists, then Enter (under Wine, the system's answer is reported, whatever it is).
    for (int tab = 0; tab < 3; ++tab) PostMessageW(list, WM_KEYDOWN, VK_TAB, 0);
    HWND link = Control(window, 108);
    ASSERT_TRUE(link && WaitUntil([&] { return FocusOf(window) == link; }, kStepTimeoutMs));
    const std::size_t beforeEnter = target.Lines().size();
    PostMessageW(link, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(target.WaitForPrefix("Vossel: history start-up apps ", kStepTimeoutMs, beforeEnter))
        << AllLines(target);
    PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 0);  // Esc closes it
    EXPECT_EQ(target.WaitForExit(kStepTimeoutMs), 0u) << AllLines(target);
    EndProcessesNamed(L"taskmgr.exe");  // what the link opened under Wine goes too
}

// Run by the e2e_placement_* and e2e_language_* entries at their DPI: the window on the screen, and
// every text whole, a start with its programs selected and a log-on that was not measured listed.
TEST(History, ShowsWholeTextsOnTheScreenAtItsScale) {
    const char* asked = std::getenv("VOSSEL_E2E_PLACEMENT");
    if (!asked) GTEST_SKIP() << "run by the e2e_placement_* and e2e_language_* entries only";
    const int dpi = std::atoi(asked);
    const std::uint64_t day = Yesterday();
    LogPixelsOverride override(static_cast<DWORD>(dpi));
    const auto launched = Launch(Directory(TargetExe()) + L"\\fault-history\\Vossel.exe",
                                 WeekOfStarts(day) + L"1010|" + std::to_wstring(day - 120 * kHour) +
                                     L"|1||not measured|no shell|||1.0|x64;");
    const Target& target = *launched;
    HWND window = WindowAfter(target, "Vossel: history read 6");
    ASSERT_NE(window, nullptr) << AllLines(target);
    ASSERT_TRUE(target.WaitForPrefix("Vossel: history programs 4", kStepTimeoutMs));
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    RECT frame{}, inside{};
    GetWindowRect(window, &frame);
    IntersectRect(&inside, &frame, &monitor.rcWork);
    EXPECT_TRUE(EqualRect(&inside, &frame)) << "the window reaches out of the work area";
    ASSERT_TRUE(ForcePaint(window) && Settle(window));
    SaveScreenshotPng(L"history-" + std::wstring(ExpectedTexts().language) + L"-" +
                      std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) + L"x" +
                      std::to_wstring(GetSystemMetrics(SM_CYSCREEN)) + L"-" +
                      std::to_wstring(dpi) + L"dpi");
    ExpectWholeTexts(target, window, dpi);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(target.WaitForExit(kStepTimeoutMs), 0u) << AllLines(target);
}

TEST(History, IsReadByAScreenReader) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::uint64_t day = Yesterday();
    // The test build's reading fails after one start and a record left out; the real exe's at once,
    // since Wine cannot query the event log.
    const std::wstring records =
        Record(day, 28'000, {21'000, 3'000, 7'000}) + L"1002|1|x;error=1722";
    const std::wstring unreadable = L"无法读取 Windows 事件日志：";
    for (const bool real : {false, true}) {
        SCOPED_TRACE(real ? "the real exe" : "a reading that failed halfway");
        const auto launched = Launch(
            real ? TargetExe() : Directory(TargetExe()) + L"\\fault-history\\Vossel.exe", records);
        const Target& target = *launched;
        HWND window = WindowAfter(target, "Vossel: history error");
        ASSERT_NE(window, nullptr) << AllLines(target);
        SaveScreenshotPng(real ? L"history-unreadable" : L"history-partial");
        const std::vector<std::wstring> texts = ReadableTexts(window);
        for (const std::wstring& text : texts) std::printf("  reads \"%s\"\n", Utf8(text).c_str());
        // After the starts: the selected one's programs, the entries, the way to switch them off.
        std::vector<std::wstring> expected = {unreadable, L"开机记录"};
        if (!real) {
            expected = {L"最近 1 次开机，中位数 28.0 秒，最快 28.0 秒，最慢 28.0 秒", unreadable,
                        L"柱状图：1 次测得的开机用时", L"开机记录", L"这次开机没有启动程序的记录。"};
        }
        expected.insert(expected.end(), {L"本次开机随之启动的程序", L"所示各次开机的启动项", L"在"});
        ASSERT_EQ(texts.size(), expected.size());
        for (std::size_t i = 0; i < texts.size(); ++i) {
            EXPECT_EQ(texts[i].rfind(expected[i], 0), 0u) << Utf8(texts[i]);
        }
        EXPECT_GT(texts[real ? 0 : 1].size(), unreadable.size()) << "the system's reason";
        if (!real) {
            EXPECT_NE(texts[1].find(L"已略去 1 条格式不符或数值不合理的记录。"),
                      std::wstring::npos);
        }
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(target.WaitForExit(kStepTimeoutMs), 0u) << AllLines(target);
    }
    CoUninitialize();
}

}  // namespace
}  // namespace vossel::e2e
