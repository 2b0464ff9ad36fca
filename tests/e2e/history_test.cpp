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
#include <cstring>
#include <string>
#include <vector>

#include "harness.h"

namespace vossel::e2e {
namespace {

// One cell of the other process's ListView: the item and its text buffer must live in that process.
std::wstring CellText(const Target& target, HWND list, int row, int column) {
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                     PROCESS_QUERY_INFORMATION, FALSE, target.ProcessId());
    if (!process) return L"<no process>";
    BOOL wow64 = FALSE;
    IsWow64Process(process, &wow64);
    constexpr size_t kItemBytes = 64;
    constexpr int kChars = 128;
    auto* remote = static_cast<BYTE*>(VirtualAllocEx(process, nullptr, kItemBytes + kChars * 2,
                                                     MEM_COMMIT, PAGE_READWRITE));
    // LVITEMW laid out for the target's pointer size: mask, iItem, iSubItem, state, stateMask, pszText, cchTextMax.
    BYTE item[kItemBytes] = {};
    const UINT mask = LVIF_TEXT;
    const UINT64 text = reinterpret_cast<UINT64>(remote + kItemBytes);
    memcpy(item, &mask, 4);
    memcpy(item + 4, &row, 4);
    memcpy(item + 8, &column, 4);
    memcpy(item + (wow64 ? 20 : 24), &text, wow64 ? 4 : 8);
    memcpy(item + (wow64 ? 24 : 32), &kChars, 4);
    wchar_t buffer[kChars] = {};
    WriteProcessMemory(process, remote, item, kItemBytes, nullptr);
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
    ReadProcessMemory(process, remote + kItemBytes, buffer, sizeof buffer - 2, nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return buffer;
}

constexpr std::uint64_t kMs = 10'000;  // 100 ns units
constexpr std::uint64_t kSecond = 1000 * kMs;
constexpr std::uint64_t kHour = 3600 * kSecond;

std::uint64_t Now() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

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

// One record of VOSSEL_TEST_HISTORY, written two seconds after its shell appeared.
std::wstring Entry(int id, std::uint64_t written, const std::vector<std::wstring>& values) {
    std::wstring entry = std::to_wstring(id) + L"|" + std::to_wstring(written);
    for (const std::wstring& value : values) entry += L"|" + value;
    return entry + L";";
}

// A first log-on in format 2: Windows start, the wait, signing in (ms); the wait left out unless
// Windows signed in by itself.
std::wstring FirstLogOn(std::uint64_t start, int windowsStart, int wait, int signingIn,
                        bool automatic = false) {
    const std::uint64_t screen = start + windowsStart * kMs;
    const std::uint64_t signedIn = screen + wait * kMs;
    const std::uint64_t shell = signedIn + signingIn * kMs;
    const int shown = automatic ? windowsStart + wait + signingIn : windowsStart + signingIn;
    return Entry(1001, shell + 2 * kSecond,
                 {L"2", std::to_wstring(shown), L"full boot", L"", Utc(start), Utc(shell), L"2.0.0.0",
                  L"x64", L"first log-on", std::to_wstring(windowsStart), std::to_wstring(wait),
                  std::to_wstring(signingIn), automatic ? L"included" : L"excluded",
                  automatic ? L"automatic sign-in" : L"", Utc(screen), Utc(signedIn), L"0"});
}

std::wstring LaterLogOn(std::uint64_t start) {
    return Entry(1010, start + 3 * kHour,
                 {L"2", L"", L"not measured", L"later log-on", Utc(start), L"", L"2.0.0.0", L"x64",
                  L"later log-on", L"", L"", L"", L"", L"", L"", L"", L"0"});
}

// Format 1: the whole span to the shell.
std::wstring Format1(std::uint64_t start, std::uint64_t ms) {
    const std::uint64_t shell = start + ms * kMs;
    return Entry(1001, shell + 2 * kSecond,
                 {L"1", std::to_wstring(ms), L"full boot", L"", Utc(start), Utc(shell), L"1.0.0.0",
                  L"x64"});
}

HWND HistoryWindowOf(const Target& target) {
    const std::vector<HWND> windows = WindowsOfClass(target.ProcessId(), L"VosselHistory");
    return windows.size() == 1 ? windows[0] : nullptr;
}

TEST(History, ShowsEachStartOnceInItsPhases) {
    const std::uint64_t day = Now() - 24 * kHour;
    std::wstring records;
    // Newest first. E: an update start, far above the others; D: signed in by Windows itself.
    records += FirstLogOn(day, 900'000, 4'000, 30'000);
    records += FirstLogOn(day - 24 * kHour, 21'000, 0, 7'000);
    records += FirstLogOn(day - 48 * kHour, 20'000, 12'000, 8'000, true);
    // C: a forged record of no real start.
    records += Entry(1001, day - 60 * kHour,
                     {L"1", L"1000000000000000", L"full boot", L"", Utc(day - 61 * kHour), L"",
                      L"1.0.0.0", L"x64"});
    // B: its later log-on first (newest first), shifted by the time service.
    records += LaterLogOn(day - 72 * kHour + 900 * kMs);
    records += FirstLogOn(day - 72 * kHour, 24'000, 95'000, 7'234);
    // A: format 1, with a later log-on of the same start.
    records += Format1(day - 96 * kHour + 400 * kMs, 3 * 3'600'000);
    records += Format1(day - 96 * kHour, 31'234);
    SetEnvironmentVariableW(L"VOSSEL_TEST_HISTORY", records.c_str());
    Target target(Directory(TargetExe()) + L"\\fault-history\\Vossel.exe", {}, L"/HISTORY");
    SetEnvironmentVariableW(L"VOSSEL_TEST_HISTORY", nullptr);
    ASSERT_TRUE(target.Started()) << target.StartError();
    ASSERT_TRUE(target.WaitForPrefix("Vossel: history read 5", kStartTimeoutMs)) << AllLines(target);
    EXPECT_TRUE(target.WaitForPrefix("Vossel: history left out 1", kStepTimeoutMs)) << AllLines(target);
    HWND window = HistoryWindowOf(target);
    ASSERT_NE(window, nullptr);
    HWND list = Control(window, 101);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 5);
    const auto row = [&](int r) {
        std::vector<std::wstring> cells;
        for (int c = 1; c <= 5; ++c) cells.push_back(CellText(target, list, r, c));
        return cells;
    };
    using Row = std::vector<std::wstring>;
    // 秒, Windows 启动, 登录, 登录界面等待, 方式; newest first.
    EXPECT_EQ(row(0), (Row{L"930.0", L"900.0", L"30.0", L"4.0", L"完整启动"}));
    EXPECT_EQ(row(1), (Row{L"28.0", L"21.0", L"7.0", L"0.0", L"完整启动"}));
    EXPECT_EQ(row(2), (Row{L"40.0", L"20.0", L"8.0", L"12.0（已计入）", L"完整启动"}));
    EXPECT_EQ(row(3), (Row{L"31.2", L"24.0", L"7.2", L"95.0", L"完整启动，之后另有 1 次登录"}));
    EXPECT_EQ(row(4), (Row{L"31.2", L"", L"", L"已计入", L"完整启动，之后另有 1 次登录"}));

    // The chart: each phase in its own shade, the wait only where it is counted, and the update
    // start cut rather than squashing the rest.
    ASSERT_TRUE(ForcePaint(window));
    HWND chart = Control(window, 104);
    ASSERT_NE(chart, nullptr);
    wchar_t description[512] = {};
    GetWindowTextW(chart, description, 512);
    EXPECT_EQ(std::wstring(description),
              L"柱状图：5 次测得的开机用时，从左到右由旧到新；中位数 31.2 秒，最快 28.0 秒，"
              L"最慢 930.0 秒；1 根超出刻度，截断显示并标出数值。");
    const std::wstring shot = SaveScreenshotPng(L"history");
    const Image screen = Screenshot();
    ASSERT_FALSE(screen.Empty());
    const RECT plot = ClientRectOnScreen(chart);
    const int windowsStart = CountNear(screen, plot, RGB(0x2F, 0x6F, 0xC8), 12);
    const int signingIn = CountNear(screen, plot, RGB(0x8C, 0xB4, 0xEC), 12);
    const int whole = CountNear(screen, plot, RGB(0x5A, 0x8F, 0xDA), 12);
    std::printf("  chart pixels: Windows start %d, signing in %d, whole %d (%s)\n", windowsStart,
                signingIn, whole, Utf8(shot).c_str());
    EXPECT_GT(windowsStart, 500);
    EXPECT_GT(signingIn, 100);
    EXPECT_GT(whole, 100) << "the format-1 start's undivided bar";
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(target.WaitForExit(kStepTimeoutMs), 0u) << AllLines(target);
}

using Microsoft::WRL::ComPtr;

// Wine's proxy gives every control the role of a client area; Windows' gives the static texts
// ROLE_SYSTEM_STATICTEXT and the list ROLE_SYSTEM_LIST. Their names are the window texts on both.
struct Accessible {
    std::wstring name;
    bool invisible = false;
};

Accessible AccessibleOf(HWND control) {
    Accessible result;
    ComPtr<IAccessible> object;
    if (FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT),
                                          __uuidof(IAccessible),
                                          reinterpret_cast<void**>(object.GetAddressOf())))) {
        return result;
    }
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    if (SUCCEEDED(object->get_accName(self, &name)) && name) {
        result.name.assign(name, SysStringLen(name));
        SysFreeString(name);
    }
    VARIANT value;
    VariantInit(&value);
    if (SUCCEEDED(object->get_accState(self, &value)) && value.vt == VT_I4) {
        result.invisible = (value.lVal & STATE_SYSTEM_INVISIBLE) != 0;
    }
    return result;
}

// What a screen reader finds in the window, in order: the texts it may read, the list's name.
std::vector<std::wstring> ReadableTexts(HWND window) {
    std::vector<std::wstring> texts;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const Accessible a = AccessibleOf(child);
        if (!a.invisible && !a.name.empty()) texts.push_back(a.name);
    }
    return texts;
}

TEST(History, IsReadByAScreenReader) {
    struct ComApartment {
        ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
        ~ComApartment() { CoUninitialize(); }
    } apartment;
    {
        SCOPED_TRACE("a reading that failed halfway, with a record left out");
        const std::uint64_t day = Now() - 24 * kHour;
        const std::wstring records = FirstLogOn(day, 21'000, 3'000, 7'000) +
                                     Entry(1002, day - kHour, {L"1", L"x"}) + L"error=1722";
        SetEnvironmentVariableW(L"VOSSEL_TEST_HISTORY", records.c_str());
        Target target(Directory(TargetExe()) + L"\\fault-history\\Vossel.exe", {}, L"/history");
        SetEnvironmentVariableW(L"VOSSEL_TEST_HISTORY", nullptr);
        ASSERT_TRUE(target.Started()) << target.StartError();
        ASSERT_TRUE(target.WaitForPrefix("Vossel: history read 1", kStartTimeoutMs)) << AllLines(target);
        EXPECT_TRUE(target.WaitForPrefix("Vossel: history error 1722", kStepTimeoutMs));
        HWND window = HistoryWindowOf(target);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(Settle(window));
        const std::vector<std::wstring> texts = ReadableTexts(window);
        for (const std::wstring& text : texts) std::printf("  reads \"%s\"\n", Utf8(text).c_str());
        SaveScreenshotPng(L"history-partial");
        ASSERT_EQ(texts.size(), 4u);
        EXPECT_EQ(texts[0], L"最近 1 次开机，中位数 28.0 秒，最快 28.0 秒，最慢 28.0 秒");
        EXPECT_EQ(texts[1].rfind(L"无法读取 Windows 事件日志：", 0), 0u) << Utf8(texts[1]);
        EXPECT_NE(texts[1].find(L"已略去 1 条格式不符或数值不合理的记录。"), std::wstring::npos);
        EXPECT_EQ(texts[2].rfind(L"柱状图：1 次测得的开机用时", 0), 0u) << Utf8(texts[2]);
        EXPECT_EQ(texts[3], L"开机记录");
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(target.WaitForExit(kStepTimeoutMs), 0u) << AllLines(target);
    }
    {
        SCOPED_TRACE("the real exe, whose event log Wine cannot query");
        Target target(TargetExe(), {}, L"/history");
        ASSERT_TRUE(target.Started()) << target.StartError();
        ASSERT_TRUE(target.WaitForPrefix("Vossel: history error", kStartTimeoutMs)) << AllLines(target);
        HWND window = HistoryWindowOf(target);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(Settle(window));
        const std::vector<std::wstring> texts = ReadableTexts(window);
        for (const std::wstring& text : texts) std::printf("  reads \"%s\"\n", Utf8(text).c_str());
        SaveScreenshotPng(L"history-unreadable");
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(texts[0].rfind(L"无法读取 Windows 事件日志：", 0), 0u) << Utf8(texts[0]);
        EXPECT_GT(texts[0].size(), std::wstring(L"无法读取 Windows 事件日志：").size());
        EXPECT_EQ(texts[1], L"开机记录");
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(target.WaitForExit(kStepTimeoutMs), 0u) << AllLines(target);
    }
}

}  // namespace
}  // namespace vossel::e2e
