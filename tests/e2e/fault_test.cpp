// Faults from outside the program: a missing automation object, a late-bound export that does not
// exist, and a second copy running beside the first.
#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness.h"
#include "stress_support.h"

namespace vossel::e2e {
namespace {

using namespace stress;

// ---- (a) no WScript.Shell ----

// The ProgID and its class, in both registry views; the program falls back to the registry itself.
const wchar_t* const kShellKeys[] = {
    L"SOFTWARE\\Classes\\WScript.Shell",
    L"SOFTWARE\\Classes\\WScript.Shell.1",
    L"SOFTWARE\\Classes\\CLSID\\{72C24DD5-D70A-438B-8A42-98424B88AFB8}",
};
constexpr wchar_t kBackupRoot[] = L"Software\\VosselE2E\\RemovedShellKeys";

std::wstring BackupName(size_t key, REGSAM view) {
    return std::wstring(kBackupRoot) + L"\\" + std::to_wstring(key) + (view == KEY_WOW64_32KEY ? L"-32" : L"-64");
}

void SplitKey(const std::wstring& path, std::wstring& parent, std::wstring& leaf) {
    const size_t slash = path.find_last_of(L'\\');
    parent = path.substr(0, slash);
    leaf = path.substr(slash + 1);
}

// Puts back whatever an earlier (perhaps aborted) run moved aside.
void RestoreShellKeys() {
    for (size_t i = 0; i < std::size(kShellKeys); ++i) {
        for (REGSAM view : kViews) {
            HKEY backup = nullptr;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, BackupName(i, view).c_str(), 0, KEY_READ, &backup) != ERROR_SUCCESS) {
                continue;
            }
            HKEY original = nullptr;
            if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kShellKeys[i], 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                &original, nullptr) == ERROR_SUCCESS) {
                RegCopyTreeW(backup, nullptr, original);
                RegCloseKey(original);
            }
            RegCloseKey(backup);
        }
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kBackupRoot);
}

class ShellKeysRemoved {
public:
    ShellKeysRemoved() {
        RestoreShellKeys();
        for (size_t i = 0; i < std::size(kShellKeys); ++i) {
            std::wstring parentPath, leaf;
            SplitKey(kShellKeys[i], parentPath, leaf);
            for (REGSAM view : kViews) {
                HKEY key = nullptr;
                if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kShellKeys[i], 0, KEY_READ | view, &key) != ERROR_SUCCESS) continue;
                HKEY backup = nullptr;
                RegCreateKeyExW(HKEY_CURRENT_USER, BackupName(i, view).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &backup, nullptr);
                const bool saved = backup && RegCopyTreeW(key, nullptr, backup) == ERROR_SUCCESS;
                if (backup) RegCloseKey(backup);
                RegCloseKey(key);
                HKEY parent = nullptr;
                if (saved && RegOpenKeyExW(HKEY_LOCAL_MACHINE, parentPath.c_str(), 0, KEY_ALL_ACCESS | view,
                                           &parent) == ERROR_SUCCESS) {
                    RegDeleteTreeW(parent, leaf.c_str());
                    RegCloseKey(parent);
                }
            }
        }
    }
    ~ShellKeysRemoved() { RestoreShellKeys(); }
    ShellKeysRemoved(const ShellKeysRemoved&) = delete;
    ShellKeysRemoved& operator=(const ShellKeysRemoved&) = delete;
};

bool ShellObjectRegistered() {
    CLSID classId{};
    return SUCCEEDED(CLSIDFromProgID(L"WScript.Shell", &classId));
}

// Opens the settings window, ticks and clears its check box; the Run value follows.
void TickAndClear(const Target& target) {
    HWND mainWindow = MainWindowOf(target);
    ASSERT_NE(mainWindow, nullptr);
    ClickClient(mainWindow, kSettingsLink.x, kSettingsLink.y);
    ASSERT_TRUE(target.WaitForPrefix("Vossel: settings shown", kStepTimeoutMs)) << AllLines(target);
    HWND check = Control(SettingsWindowOf(target), 101);
    ASSERT_NE(check, nullptr);

    PostMessageW(check, BM_CLICK, 0, 0);
    ASSERT_TRUE(target.WaitForPrefix("Vossel: autostart write ", kStepTimeoutMs)) << AllLines(target);
    // The line comes before the registry call, inside the click on the windows' one thread.
    ASSERT_TRUE(Settle(check)) << "the program does not answer after the click";
    const auto written = RunValueAnyView(L"Vossel");
    ASSERT_TRUE(written) << "no Run value after ticking; lines:\n" << AllLines(target);
    EXPECT_EQ(*written, L"\"" + TargetExe() + L"\"");

    PostMessageW(check, BM_CLICK, 0, 0);
    ASSERT_TRUE(target.WaitForPrefix("Vossel: autostart delete ", kStepTimeoutMs)) << AllLines(target);
    ASSERT_TRUE(Settle(check)) << "the program does not answer after the click";
    EXPECT_FALSE(RunValueAnyView(L"Vossel")) << "the Run value outlived clearing the box";
    EXPECT_EQ(CountLines(target, std::regex("^Vossel: error")), 0u) << AllLines(target);
    EXPECT_EQ(WaitForMessageBox(target, 0), nullptr);
}

TEST(Faults, WithoutTheShellObjectTheBoxStillWritesAndDeletesTheEntry) {
    RunValueCleanup cleanup;
    ShellKeysRemoved removed;
    ASSERT_FALSE(ShellObjectRegistered()) << "WScript.Shell is still registered";
    Target target(TargetExe());
    ASSERT_TRUE(target.Started()) << target.StartError();
    ASSERT_TRUE(target.WaitForPrefix("Vossel: Label2 = ", kStartTimeoutMs)) << AllLines(target);
    TickAndClear(target);
}

// ---- (b) a late-bound export that does not exist ----

TEST(Faults, MissingLateBoundExportShowsTheErrorAndExitsWith453) {
    // The test-only build beside the real exe, with SetWindowPos bound under a made-up name.
    const std::wstring variant = Directory(TargetExe()) + L"\\fault-missing-export\\Vossel.exe";
    ASSERT_NE(GetFileAttributesW(variant.c_str()), INVALID_FILE_ATTRIBUTES)
        << "not built: " << Utf8(variant);
    Target target(variant);
    ASSERT_TRUE(target.Started()) << target.StartError();
    HWND box = WaitForMessageBox(target, kStartTimeoutMs);
    ASSERT_NE(box, nullptr) << "no message box; lines:\n" << AllLines(target);
    const std::string text = Utf8(MessageBoxText(box));
    EXPECT_NE(text.find("'453'"), std::string::npos) << text;
    EXPECT_NE(text.find("SetWindowPosMissingExport"), std::string::npos) << text;
    EXPECT_TRUE(target.WaitForLine(std::regex("^Vossel: error 453 "), 5000)) << AllLines(target);
    EXPECT_FALSE(target.HasExited()) << "the message box must hold the program until it is answered";
    DismissMessageBox(box);
    const auto exitCode = target.WaitForExit(30000);
    ASSERT_TRUE(exitCode) << "still running after the message box was answered";
    EXPECT_EQ(*exitCode, 453u) << "a crash ends with an exception code instead";
    EXPECT_TRUE(target.WaitForLine(std::regex("^Vossel: end error 453$"), 0)) << AllLines(target);
}

// ---- (c) two copies ----

TEST(Faults, TwoCopiesRunSideBySideAndEndIndependently) {
    Target first(TargetExe());
    Target second(TargetExe());
    ASSERT_TRUE(first.Started()) << first.StartError();
    ASSERT_TRUE(second.Started()) << second.StartError();
    const auto firstLine = first.WaitForPrefix("Vossel: Label2 = ", kStartTimeoutMs);
    const auto secondLine = second.WaitForPrefix("Vossel: Label2 = ", kStartTimeoutMs);
    ASSERT_TRUE(firstLine && secondLine) << AllLines(first) << AllLines(second);
    HWND firstWindow = MainWindowOf(first);
    ASSERT_NE(firstWindow, nullptr);
    ASSERT_NE(MainWindowOf(second), nullptr);

    RequestClose(firstWindow);
    const auto firstExit = first.WaitForExit(10000);
    ASSERT_TRUE(firstExit) << "the closed copy did not fade out; lines:\n" << AllLines(first);
    EXPECT_EQ(*firstExit, 0u);
    EXPECT_TRUE(first.WaitForLine(std::regex("^Vossel: end fade-out$"), 0)) << AllLines(first);

    EXPECT_FALSE(second.HasExited()) << "closing one copy ended the other";
    const auto secondExit = second.WaitForExit(30000);
    ASSERT_TRUE(secondExit) << "the other copy did not end by itself";
    EXPECT_EQ(*secondExit, 0u);
    EXPECT_TRUE(second.WaitForLine(std::regex("^Vossel: end timer$"), 0)) << AllLines(second);
    const double life = second.ExitSeconds() - secondLine->seconds;
    EXPECT_GT(life, kLifeSeconds - 3);
    EXPECT_LT(life, kHangSeconds);
    EXPECT_LT(first.ExitSeconds() - firstLine->seconds, life - 2) << "the closed copy should end well before";
}

}  // namespace
}  // namespace vossel::e2e
