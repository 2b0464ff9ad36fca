// The history window end to end, through the test-only build that takes its start records from
// VOSSEL_TEST_HISTORY (Wine cannot query the event log): the list's rows, read from outside.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
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

TEST(History, ShowsTheRecordsNewestFirstWithoutDuplicates) {
    SetEnvironmentVariableW(L"VOSSEL_TEST_HISTORY",
        L"1001|134411903523450000|1|45000|full boot||2026-12-08T07:59:12.345Z||1.0.0.0|x64;"
        L"1010|134411000000000000|1||not measured|no shell|||1.0.0.0|x64;"
        L"1001|134411900000000000|1|31234|full boot||2026-12-08T07:59:12.345Z||1.0.0.0|x64;"
        L"1002|134410000000000000|1|18400|resume||2026-12-07T08:00:00.000Z||1.0.0.0|x64;"
        L"1001|134400000000000000|2|42000|full boot||2026-12-06T08:00:00.000Z||1.0.0.0|x64");
    Target target(Directory(TargetExe()) + L"\\fault-history\\Vossel.exe", {}, L"/HISTORY");
    SetEnvironmentVariableW(L"VOSSEL_TEST_HISTORY", nullptr);
    ASSERT_TRUE(target.Started()) << target.StartError();
    ASSERT_TRUE(target.WaitForPrefix("Vossel: history read 3", kStartTimeoutMs)) << AllLines(target);
    const std::vector<HWND> windows = WindowsOfClass(target.ProcessId(), L"VosselHistory");
    ASSERT_EQ(windows.size(), 1u);
    HWND list = Control(windows[0], 101);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(CellText(target, list, 0, 1), L"31.2");  // the first log-on of the start
    EXPECT_EQ(CellText(target, list, 0, 2), L"完整启动");
    EXPECT_EQ(CellText(target, list, 1, 1), L"--");
    EXPECT_EQ(CellText(target, list, 1, 2), L"未测量：no shell");
    EXPECT_EQ(CellText(target, list, 2, 2), L"快速启动或唤醒");  // format 2 was skipped
    EXPECT_FALSE(CellText(target, list, 2, 0).empty());
    SaveScreenshotPng(L"history");
    PostMessageW(windows[0], WM_CLOSE, 0, 0);
    EXPECT_EQ(target.WaitForExit(kStepTimeoutMs), 0u) << AllLines(target);
}

}  // namespace
}  // namespace vossel::e2e
