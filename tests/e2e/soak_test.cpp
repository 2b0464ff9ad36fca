// Soak and monkey runs: a lot of ordinary use inside the program's 15 s life must leave no kernel
// handle and no GDI object behind, and no sequence of clicks, keys and close requests may make it
// show an error, end another way or hang.
#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <random>
#include <string>

#include "harness.h"
#include "stress_support.h"

namespace vossel::e2e {
namespace {

using namespace stress;

const std::regex kShown("^Vossel: settings shown$");
const std::regex kUnloaded("^Vossel: settings unloaded$");
const std::regex kError("^Vossel: (error|end error)");
const std::regex kEnd("^Vossel: end (timer|fade-out)$");

// Wine's own DC cache creates and frees a DC or two on its own: between launches the count at
// rest differs by that much. A leak in any of the repeated operations is far above it.
constexpr size_t kGdiNoise = 3;

// The soak runs a test-only build whose life is ten minutes, so that no step races the end.
std::wstring LongLifeExe() { return Directory(TargetExe()) + L"\\fault-long-life\\Vossel.exe"; }

struct Counts {
    std::optional<size_t> kernel;
    std::optional<size_t> gdi;
};

Counts Measure(DWORD processId) { return {KernelHandleCount(processId), GdiObjectCount(processId)}; }

// One forced repaint, finished when the window's update region is empty again.
bool Repaint(HWND mainWindow) {
    RedrawWindow(mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (GetUpdateRect(mainWindow, nullptr, FALSE)) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(0);
    }
    return true;
}

// Opens the settings through the link and closes them again, by the close box or by the back button.
void SettingsCycle(const Target& target, HWND mainWindow, bool byButton) {
    const size_t shown = CountLines(target, kShown);
    const size_t unloaded = CountLines(target, kUnloaded);
    // The last settings window's going moves the focus, and Wine cancels a press that is under way
    // when the focus moves: the click waits until that window is gone and the program has taken
    // in what came of it.
    ASSERT_TRUE(WaitUntil([&] { return WindowsOfClass(target.ProcessId(), L"VosselForm2").empty(); },
                          kStepTimeoutMs))
        << "the last settings window is still there";
    ASSERT_TRUE(Settle(mainWindow));
    ClickClient(mainWindow, kSettingsLink.x, kSettingsLink.y);
    ASSERT_TRUE(WaitForCount(target, kShown, shown + 1, kStepTimeoutMs)) << AllLines(target);
    HWND settingsWindow = SettingsWindowOf(target);
    ASSERT_NE(settingsWindow, nullptr);
    if (byButton) {
        PostMessageW(Control(settingsWindow, 102), BM_CLICK, 0, 0);
    } else {
        RequestClose(settingsWindow);
    }
    ASSERT_TRUE(WaitForCount(target, kUnloaded, unloaded + 1, kStepTimeoutMs));
    EXPECT_TRUE(WaitUntil(
        [&] { return WindowsOfClass(target.ProcessId(), L"VosselForm2").empty(); }, kStepTimeoutMs))
        << "the settings window outlived its unload";
}

// 200 label clicks, a quarter of them on the link: the settings window opens once and is shown
// again by the rest; the other labels do nothing.
void LabelClicks(const Target& target, HWND mainWindow, int clicks) {
    const POINT labels[] = {kPromptLabel, kDurationLabel, kSettingsLink, kSecondsLabel};
    const size_t shown = CountLines(target, kShown);
    const size_t before = target.Lines().size();
    int linkClicks = 0;
    for (int i = 0; i < clicks; ++i) {
        const POINT at = labels[i % 4];
        linkClicks += i % 4 == 2 ? 1 : 0;
        ClickClient(mainWindow, at.x, at.y);
        if (i % 20 == 19) Sleep(1);  // keep the queue short of its limit
    }
    ASSERT_TRUE(WaitForCount(target, kShown, shown + static_cast<size_t>(linkClicks), kStepTimeoutMs))
        << linkClicks << " clicks on the link";
    EXPECT_EQ(WindowsOfClass(target.ProcessId(), L"VosselForm2").size(), 1u)
        << linkClicks << " clicks on the link must leave one settings window";
    // Nothing but the settings window came of the clicks (the fade-in may still be running).
    const std::regex expected("^Vossel: (settings shown|opacity = \\d+)$");
    for (const std::string& line : LinesExceptAnyMoment(target, before))
        EXPECT_TRUE(std::regex_search(line, expected)) << line;
}

// Without a window manager, Wine waits 2 s for each managed window to be withdrawn when it is
// destroyed, and the program's timers wait with it; unmanaged windows go at once. Only the
// Vossel.exe launches of these tests see this.
class UnmanagedWindows {
public:
    UnmanagedWindows() {
        created = RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  &disposition) == ERROR_SUCCESS;
        if (!created) return;
        DWORD size = sizeof saved;
        hadValue = RegQueryValueExW(key, L"Managed", nullptr, nullptr, reinterpret_cast<BYTE*>(saved), &size) ==
                   ERROR_SUCCESS;
        RegSetValueExW(key, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"N"), 2 * sizeof(wchar_t));
    }
    ~UnmanagedWindows() {
        if (!created) return;
        if (hadValue) {
            RegSetValueExW(key, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved),
                           static_cast<DWORD>((std::wcslen(saved) + 1) * sizeof(wchar_t)));
        } else {
            RegDeleteValueW(key, L"Managed");
        }
        RegCloseKey(key);
        if (disposition == REG_CREATED_NEW_KEY) RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Vossel.exe");
    }
    UnmanagedWindows(const UnmanagedWindows&) = delete;
    UnmanagedWindows& operator=(const UnmanagedWindows&) = delete;

private:
    static constexpr wchar_t kKey[] = L"Software\\Wine\\AppDefaults\\Vossel.exe\\X11 Driver";
    HKEY key = nullptr;
    DWORD disposition = 0;
    bool created = false;
    bool hadValue = false;
    wchar_t saved[64] = {};
};

class Soak : public testing::Test {};

// Every repeated path of the program, many times over in one launch: nothing may be left behind.
TEST_F(Soak, LeavesNoHandlesOrGdiObjectsAndEndsWhenClosed) {
    UnmanagedWindows unmanaged;
    RunValueCleanup cleanup;
    Target target(LongLifeExe());
    ASSERT_TRUE(target.Started()) << target.StartError();
    const auto first = target.WaitForPrefix("Vossel: Label2 = ", kStartTimeoutMs);
    ASSERT_TRUE(first) << "no caption; lines:\n" << AllLines(target);
    HWND mainWindow = MainWindowOf(target);
    ASSERT_NE(mainWindow, nullptr);

    // Warm-up: whatever the program caches on first use is not a leak.
    // Every path once: repaints, each label, the link on an open window, both ways to close.
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(Repaint(mainWindow));
    LabelClicks(target, mainWindow, 8);
    if (HasFatalFailure()) return;
    const size_t unloaded = CountLines(target, kUnloaded);
    RequestClose(SettingsWindowOf(target));
    ASSERT_TRUE(WaitForCount(target, kUnloaded, unloaded + 1, kStepTimeoutMs));
    SettingsCycle(target, mainWindow, true);
    if (HasFatalFailure()) return;
    // The start record's first use of the event log is part of the warm-up too; its timer message
    // waits while the queue is busy, so it is waited for rather than assumed done.
    ASSERT_TRUE(target.WaitForPrefix("Vossel: event ", kStepTimeoutMs))
        << "no start record; lines:\n"
        << AllLines(target);
    ASSERT_TRUE(Settle(mainWindow));
    const Counts before = Measure(target.ProcessId());
    ASSERT_TRUE(before.kernel) << "SystemExtendedHandleInformation cannot be read";
    ASSERT_GT(*before.kernel, 0u);

    for (int repaint = 0; repaint < 1000; ++repaint) {
        ASSERT_TRUE(Repaint(mainWindow)) << "repaint " << repaint << " never finished";
    }
    LabelClicks(target, mainWindow, 200);
    if (HasFatalFailure()) return;
    // The clicks left the settings open: close them as the first cycle.
    const size_t clicked = CountLines(target, kUnloaded);
    RequestClose(SettingsWindowOf(target));
    ASSERT_TRUE(WaitForCount(target, kUnloaded, clicked + 1, kStepTimeoutMs));
    for (int cycle = 0; cycle < 50; ++cycle) {
        SettingsCycle(target, mainWindow, cycle % 2 == 0);
        if (HasFatalFailure()) return;
    }

    // A growth is a leak; a transient object of the moment (a thread's wait, say) is not, so a
    // higher count is read again for a moment before it counts.
    Counts after = Measure(target.ProcessId());
    for (int retry = 0; retry < 10 && (after.kernel > before.kernel || (before.gdi && after.gdi > *before.gdi + kGdiNoise));
         ++retry) {
        Sleep(100);
        after = Measure(target.ProcessId());
    }
    std::printf("1000 repaints, 200 label clicks, 50 settings cycles in %.1f s; kernel handles %zu -> %zu, "
                "GDI objects %s -> %s\n",
                target.Elapsed() - first->seconds, *before.kernel, after.kernel.value_or(0),
                before.gdi ? std::to_string(*before.gdi).c_str() : "unreadable",
                after.gdi ? std::to_string(*after.gdi).c_str() : "unreadable");
    ASSERT_FALSE(target.HasExited()) << AllLines(target);
    EXPECT_LE(after.kernel.value_or(SIZE_MAX), *before.kernel) << "kernel handles";
    ASSERT_TRUE(before.gdi && after.gdi) << "the GDI handle table could not be read";
    EXPECT_LE(*after.gdi, *before.gdi + kGdiNoise) << "GDI objects";

    // After all that, a close request still fades the window out and ends the program.
    RequestClose(mainWindow);
    const auto exitCode = target.WaitForExit(kStepTimeoutMs);
    ASSERT_TRUE(exitCode) << "still running after the close request";
    EXPECT_EQ(*exitCode, 0u);
    EXPECT_TRUE(target.WaitForLine(std::regex("^Vossel: end fade-out$"), 0)) << AllLines(target);
    EXPECT_EQ(CountLines(target, kError), 0u) << AllLines(target);
}

// ---- monkey ----

// Random use of both windows for the whole life of the program, from a fixed seed.
class Monkey : public testing::TestWithParam<unsigned> {};

struct Key {
    UINT key;
    bool alt;
};
// Alt+F4 is a close request and is sent with those (rarely to the main window).
const Key kKeys[] = {{VK_SPACE, false}, {VK_RETURN, false}, {VK_ESCAPE, false}, {VK_TAB, false},
                     {'A', false},      {VK_LEFT, false},   {VK_SPACE, true}};
constexpr Key kAltF4{VK_F4, true};

void PressKey(HWND window, const Key& key) {
    const UINT down = key.alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
    const UINT up = key.alt ? WM_SYSKEYUP : WM_KEYUP;
    const LPARAM context = key.alt ? (1 << 29) : 0;
    PostMessageW(window, down, key.key, 1 | context);
    if (!key.alt && (key.key == VK_SPACE || key.key == 'A' || key.key == VK_RETURN)) {
        PostMessageW(window, WM_CHAR, key.key == 'A' ? 'a' : key.key, 1);
    }
    PostMessageW(window, up, key.key, 1 | context | (1u << 30) | (1u << 31));
}

// A click at a random point of a window's client area, posted so that it can only land there.
void RandomClick(std::mt19937& random, HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    if (client.right <= 0 || client.bottom <= 0) return;
    const int x = std::uniform_int_distribution<int>(0, client.right - 1)(random);
    const int y = std::uniform_int_distribution<int>(0, client.bottom - 1)(random);
    ClickClient(window, x, y);
}

TEST_P(Monkey, EndsByTimerOrFadeOutWithoutError) {
    RunValueCleanup cleanup;
    UnmanagedWindows unmanaged;
    std::mt19937 random(GetParam());
    Target target(TargetExe());
    ASSERT_TRUE(target.Started()) << target.StartError();
    const auto first = target.WaitForPrefix("Vossel: Label2 = ", kStartTimeoutMs);
    ASSERT_TRUE(first) << "no caption; lines:\n" << AllLines(target);

    int actions = 0;
    bool sawMessageBox = false;
    while (!target.HasExited() && target.Elapsed() - first->seconds < kHangSeconds + 1) {
        if (WaitForMessageBox(target, 0)) {
            sawMessageBox = true;
            break;
        }
        HWND mainWindow = MainWindowOf(target);
        HWND settingsWindow = SettingsWindowOf(target);
        if (!mainWindow) break;  // on its way out
        // The settings window gets half of the actions while it is open; the link opens it often.
        HWND window = settingsWindow && random() % 2 ? settingsWindow : mainWindow;
        const unsigned roll = random() % 1000;
        if (window == mainWindow && roll < 300) {
            ClickClient(mainWindow, kSettingsLink.x, kSettingsLink.y);
        } else if (roll < 650) {
            // Clicks on the settings window go to its controls as well as to its own client area.
            HWND control = window == settingsWindow ? Control(settingsWindow, 101 + static_cast<int>(random() % 3)) : nullptr;
            RandomClick(random, control ? control : window);
        } else if (roll < 950) {
            HWND focusTarget = window == settingsWindow ? Control(settingsWindow, 101 + static_cast<int>(random() % 2)) : window;
            PressKey(focusTarget ? focusTarget : window, kKeys[random() % std::size(kKeys)]);
        } else if (window == settingsWindow || roll < 953) {
            // Close requests on the main window start the fade-out, so they stay rare.
            switch (random() % 3) {
                case 0: RequestClose(window); break;
                case 1: SystemMenuClose(window); break;
                default: PressKey(window, kAltF4); break;
            }
        }
        ++actions;
        Sleep(20 + random() % 40);
    }

    HWND box = WaitForMessageBox(target, 0);
    if (box) sawMessageBox = true;
    EXPECT_FALSE(sawMessageBox) << "message box: " << Utf8(box ? MessageBoxText(box) : L"");
    if (box) DismissMessageBox(box);
    const auto exitCode = target.WaitForExit(20000);
    ASSERT_TRUE(exitCode) << "hangs after " << actions << " actions; lines:\n" << AllLines(target);
    EXPECT_EQ(*exitCode, 0u);
    EXPECT_LT(target.ExitSeconds() - first->seconds, kHangSeconds);
    EXPECT_TRUE(target.WaitForLine(kEnd, 0)) << AllLines(target);
    EXPECT_EQ(CountLines(target, kError), 0u) << AllLines(target);
    std::printf("seed %u: %d actions, %s after %.1f s\n", GetParam(), actions,
                target.WaitForLine(std::regex("^Vossel: end fade-out$"), 0) ? "fade-out" : "timer",
                target.ExitSeconds() - first->seconds);
}

INSTANTIATE_TEST_SUITE_P(Seeds, Monkey, testing::Values(1u, 2u, 3u));

}  // namespace
}  // namespace vossel::e2e
