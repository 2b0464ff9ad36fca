// The settings window and the Run entry it writes, judged from outside while the program runs.
//
// Input: where a person would click or type, the tests use real input through the system's input
// queue (ClickScreen, and SendInput for keys), so the hit test, the focus and the dialog keys of
// the program itself are exercised. Where a real click is not needed or would race the fade-in
// (a click into a window that is still nearly transparent), the mouse messages are posted to the
// window's queue instead; each place says which.
//
// Every Run value that a launch may write is saved and removed before it starts and put back as
// it was afterwards, by a guard that the fixture owns, so a failed assertion leaves nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "harness.h"

namespace vossel::e2e {
namespace {

constexpr DWORD kQuietMs = 1500;  // how long "nothing happens" is watched

constexpr wchar_t kRunSubkey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
// The exe under test lives in a folder its user can write, so its entry is that user's own.
constexpr char kRunPrefix[] = R"(HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run\)";
// In place of a view: the current user's Run key (shared by both views).
constexpr REGSAM kUserRunKey = 0;

// Client pixels at 96 dpi.
constexpr POINT kCheckBoxPoint{22, 24};  // the box of "开机自启动" in the settings window
constexpr POINT kBackButton{152, 26};  // middle of "返回"
constexpr RECT kSettingsClient{838, 623, 838 + 205, 623 + 56};
constexpr RECT kCheckBoxRect{16, 16, 16 + 81, 16 + 17};
constexpr RECT kBackButtonRect{128, 16, 128 + 49, 16 + 20};

// ---- registry ----

struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;

    std::wstring Text() const {
        std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
        std::copy(bytes.begin(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(text.size() * sizeof(wchar_t)),
                  reinterpret_cast<BYTE*>(text.data()));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        return text;
    }
};

// KEY_WOW64_64KEY or KEY_WOW64_32KEY: the tests themselves are a 64-bit program, so both views
// are named explicitly and nothing depends on our own redirection.
std::optional<RegistryValue> ReadRunValue(REGSAM view, const std::wstring& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(view == kUserRunKey ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, kRunSubkey, 0,
                      KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    RegistryValue value;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.bytes.resize(size);
        status =
            RegQueryValueExW(key, name.c_str(), nullptr, &value.type, value.bytes.data(), &size);
        value.bytes.resize(size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return value;
}

void PutRunValue(REGSAM view, const std::wstring& name, const std::optional<RegistryValue>& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(view == kUserRunKey ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, kRunSubkey,
                        0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    if (value) {
        RegSetValueExW(key, name.c_str(), 0, value->type, value->bytes.data(),
                       static_cast<DWORD>(value->bytes.size()));
    } else {
        RegDeleteValueW(key, name.c_str());
    }
    RegCloseKey(key);
}

// Clears the value in both views for the test and puts back whatever was there before.
class RunValueGuard {
  public:
    explicit RunValueGuard(std::wstring valueName) : name(std::move(valueName)) {
        for (auto& view : views) {
            view.saved = ReadRunValue(view.sam, name);
            PutRunValue(view.sam, name, std::nullopt);
        }
    }
    ~RunValueGuard() {
        for (const auto& view : views) PutRunValue(view.sam, name, view.saved);
    }
    RunValueGuard(const RunValueGuard&) = delete;
    RunValueGuard& operator=(const RunValueGuard&) = delete;

  private:
    struct View {
        REGSAM sam;
        std::optional<RegistryValue> saved;
    };
    std::wstring name;
    View views[3] = {{KEY_WOW64_64KEY, {}}, {KEY_WOW64_32KEY, {}}, {kUserRunKey, {}}};
};

// ---- the exe ----

bool IsX86Exe(const std::wstring& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    if (bytes.size() < 0x40) return false;
    const size_t pe =
        bytes[0x3C] | bytes[0x3D] << 8 | bytes[0x3E] << 16 | static_cast<size_t>(bytes[0x3F]) << 24;
    if (pe + 6 > bytes.size()) return false;
    return (bytes[pe + 4] | bytes[pe + 5] << 8) == IMAGE_FILE_MACHINE_I386;
}

std::wstring BaseName(const std::wstring& path) {
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    return name.substr(0, name.rfind(L'.'));
}

std::wstring LongPath(const std::wstring& path) {
    wchar_t full[MAX_PATH] = {};
    if (!GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr)) return path;
    wchar_t longer[MAX_PATH] = {};
    return GetLongPathNameW(full, longer, MAX_PATH) ? longer : full;
}

// The user's temporary folder in its long form, ending in a backslash.
std::wstring TempFolder() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = LongPath(temp);
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// ---- waiting and looking ----

std::vector<std::string> LinesSince(const Target& target, size_t from) {
    std::vector<std::string> texts;
    const auto lines = target.Lines();
    for (size_t i = from; i < lines.size(); ++i) texts.push_back(lines[i].text);
    return texts;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += "\n  " + line;
    return text.empty() ? " (none)" : text;
}

RECT ChildRectInClient(HWND parent, HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus
                                                                              : nullptr;
}

bool Ticked(HWND check) {
    DWORD_PTR state = BST_INDETERMINATE;
    SendMessageTimeoutW(check, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
    return state == BST_CHECKED;
}

// A real key stroke through the system's input queue: it goes to the focused control.
void PressKey(WORD key, bool shift = false) {
    std::vector<INPUT> inputs;
    auto add = [&](WORD vk, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    if (shift) add(VK_SHIFT, false);
    add(key, false);
    add(key, true);
    if (shift) add(VK_SHIFT, true);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// A real click. The move to the spot travels in the same batch as the button, so a pointer
// event still on its way from an earlier click cannot put the press somewhere else.
void ClickClientOnScreen(HWND window, POINT at) {
    const RECT client = ClientRectOnScreen(window);
    const POINT spot{client.left + at.x, client.top + at.y};
    SetCursorPos(spot.x, spot.y);
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    INPUT inputs[3] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(spot.x, 65535, width - 1);
        input.mi.dy = MulDiv(spot.y, 65535, height - 1);
    }
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    SendInput(3, inputs, sizeof(INPUT));
}

// The 32 x 32 icon that Wine handed to X for this window (_NET_WM_ICON), found by its place:
// the title "设置" would not survive the trip through the Unix command line.
std::vector<uint32_t> ShownIcon(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    const std::string script =
        "for w in $(xdotool search --class vossel); do "
        "xwininfo -id $w | grep -q 'Absolute upper-left X: *" +
        std::to_string(frame.left) +
        "$' && "
        "xwininfo -id $w | grep -q 'Absolute upper-left Y: *" +
        std::to_string(frame.top) +
        "$' && "
        "xprop -id $w -f _NET_WM_ICON 32c _NET_WM_ICON; done";
    const auto output = RunUnixOutput(script, 30000);
    std::vector<uint32_t> numbers;
    for (const char* p = output ? std::strchr(output->c_str(), '=') : nullptr; p && *p;
         p = std::strchr(p, ',')) {
        char* end = nullptr;
        const unsigned long value = std::strtoul(p + 1, &end, 10);
        if (end == p + 1) break;
        numbers.push_back(static_cast<uint32_t>(value));
        p = end;
    }
    // Width, height, pixels, and again for each size.
    for (size_t at = 0; at + 2 <= numbers.size(); at += 2 + size_t{numbers[at]} * numbers[at + 1]) {
        const size_t count = size_t{numbers[at]} * numbers[at + 1];
        if (numbers[at] == 32 && numbers[at + 1] == 32 && at + 2 + count <= numbers.size()) {
            return {numbers.begin() + static_cast<std::ptrdiff_t>(at + 2),
                    numbers.begin() + static_cast<std::ptrdiff_t>(at + 2 + count)};
        }
    }
    return {};
}

class SuspendedThread {
  public:
    explicit SuspendedThread(DWORD threadId)
        : thread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, threadId)),
          suspended(thread && SuspendThread(thread) != static_cast<DWORD>(-1)) {}
    ~SuspendedThread() {
        if (suspended) ResumeThread(thread);
        if (thread) CloseHandle(thread);
    }
    SuspendedThread(const SuspendedThread&) = delete;
    SuspendedThread& operator=(const SuspendedThread&) = delete;
    bool Suspended() const { return suspended; }

  private:
    HANDLE thread;
    bool suspended;
};

std::string Quoted(const std::wstring& path) {
    std::string quoted = Utf8(path);
    quoted.insert(quoted.begin(), '"');
    quoted.push_back('"');
    return quoted;
}

// ---- the fixture ----

class SettingsWindow : public testing::Test {
  protected:
    // The registry view in which the exe's Run value lands, and the other one.
    REGSAM OwnView() const { return kUserRunKey; }
    // The machine-wide key in the exe's own view, which a copy in a user's folder leaves alone.
    REGSAM OtherView() const { return x86 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

    // Starts the exe and waits for its main window; its Run value is guarded first.
    void Launch(const std::wstring& exe) {
        runValues.push_back(std::make_unique<RunValueGuard>(BaseName(exe)));
        x86 = IsX86Exe(exe);
        target = std::make_unique<Target>(exe);
        ASSERT_TRUE(target->Started()) << target->StartError();
        mainWindow = target->WaitForWindow(L"Vossel", kStartTimeoutMs);
        ASSERT_NE(mainWindow, nullptr) << "no window titled \"Vossel\" appeared";
    }

    size_t LineCount() const { return target->Lines().size(); }

    // A real click on "设置"; waits for the settings window and its "settings shown" line.
    HWND OpenSettingsByClick() {
        const size_t from = LineCount();
        ClickClientOnScreen(mainWindow, kSettingsLink);
        return AwaitSettings(from);
    }

    HWND AwaitSettings(size_t from) {
        if (!target->WaitForPrefix("Vossel: settings shown", kStepTimeoutMs, from)) {
            ADD_FAILURE() << "no \"settings shown\" line; lines since the click:"
                          << Joined(LinesSince(*target, from));
            return nullptr;
        }
        HWND settingsWindow = target->WaitForWindow(L"设置", kStepTimeoutMs);
        if (!settingsWindow) ADD_FAILURE() << "no window titled \"设置\"";
        return settingsWindow;
    }

    void ExpectUnloaded(HWND settingsWindow, size_t from, const char* how) {
        EXPECT_TRUE(target->WaitForPrefix("Vossel: settings unloaded", kStepTimeoutMs, from))
            << how
            << " gave no \"settings unloaded\" line; lines:" << Joined(LinesSince(*target, from));
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(settingsWindow); }, kStepTimeoutMs))
            << how << " left the settings window in place";
        EXPECT_FALSE(target->HasExited()) << how << " ended the program";
    }

    // The click's debug line, and the registry afterwards: a written value in the exe's own view
    // only, or no value in either view.
    void ExpectRunValue(bool written, const std::wstring& exePath, size_t from) {
        const std::string valuePath = kRunPrefix + Utf8(BaseName(exePath));
        const std::string expectedLine =
            written ? "Vossel: autostart write \"" + valuePath + "\" = " + Quoted(exePath)
                    : "Vossel: autostart delete \"" + valuePath + "\"";
        const auto line = target->WaitForPrefix(expectedLine.substr(0, expectedLine.find('=')),
                                                kStepTimeoutMs, from);
        ASSERT_TRUE(line) << "expected " << expectedLine
                          << "\nlines:" << Joined(LinesSince(*target, from));
        // The path in the line is judged below against the registry, where case is what matters.
        if (!written) {
            EXPECT_EQ(line->text, expectedLine);
        }
        // The line comes before the registry call, which runs inside the click on the windows'
        // one thread: once that thread answers a message, the call is done.
        EXPECT_TRUE(Settle(mainWindow)) << "the program does not answer after the click";
        const std::wstring name = BaseName(exePath);
        const auto own = ReadRunValue(OwnView(), name);
        const auto other = ReadRunValue(OtherView(), name);
        EXPECT_FALSE(other) << "the value landed in the other registry view: "
                            << (other ? Utf8(other->Text()) : "");
        if (!written) {
            EXPECT_FALSE(own) << "the value is still there: " << (own ? Utf8(own->Text()) : "");
            return;
        }
        ASSERT_TRUE(own) << "no value " << Utf8(name) << " under HKLM\\" << Utf8(kRunSubkey)
                         << "(HKEY_CURRENT_USER)";
        EXPECT_EQ(own->type, static_cast<DWORD>(REG_SZ));
        const std::wstring data = own->Text();
        ASSERT_GE(data.size(), 2u) << Utf8(data);
        EXPECT_EQ(data.front(), L'"') << Utf8(data);
        EXPECT_EQ(data.back(), L'"') << Utf8(data);
        EXPECT_PRED2(SamePath, data.substr(1, data.size() - 2), exePath)
            << "the value's data is " << Utf8(data);
        EXPECT_EQ(line->text, "Vossel: autostart write \"" + valuePath + "\" = " + Utf8(data))
            << "the debug line and the registry disagree";
    }

    // Members end in reverse order: the program goes first, then its files and Run values.
    std::vector<std::unique_ptr<RunValueGuard>> runValues;
    std::unique_ptr<ExeCopy> copy;
    bool x86 = false;
    std::unique_ptr<Target> target;
    HWND mainWindow = nullptr;
};

// One launch: the window's shape, its second opening, the dialog keys, and the box driving the
// Run value through the keyboard and through clicks (tick, clear, tick).
TEST_F(SettingsWindow, OpensOnceAtItsPlaceTakesDialogKeysAndDrivesTheRunValue) {
    const std::wstring exe = LongPath(TargetExe());
    ASSERT_NO_FATAL_FAILURE(Launch(exe));

    // A real click on the link.
    HWND settingsWindow = OpenSettingsByClick();
    ASSERT_NE(settingsWindow, nullptr);
    HWND autostartBox = FindWindowExW(settingsWindow, nullptr, L"Button", L"开机自启动");
    HWND command1 = FindWindowExW(settingsWindow, nullptr, L"Button", L"返回");
    ASSERT_NE(autostartBox, nullptr) << "no check box \"开机自启动\"";
    ASSERT_NE(command1, nullptr) << "no button \"返回\"";
    {
        SCOPED_TRACE("shape");
        ASSERT_EQ(ScreenDpi(), 96) << "the places below are 96 dpi places";
        const RECT client = ClientRectOnScreen(settingsWindow);
        EXPECT_TRUE(EqualRect(&client, &kSettingsClient))
            << "client area at (" << client.left << ", " << client.top << ") "
            << client.right - client.left << " x " << client.bottom - client.top;
        const RECT check = ChildRectInClient(settingsWindow, autostartBox);
        const RECT button = ChildRectInClient(settingsWindow, command1);
        EXPECT_TRUE(EqualRect(&check, &kCheckBoxRect))
            << "the check box at (" << check.left << ", " << check.top << ")";
        EXPECT_TRUE(EqualRect(&button, &kBackButtonRect))
            << "the back button at (" << button.left << ", " << button.top << ")";
        const LONG_PTR style = GetWindowLongPtrW(settingsWindow, GWL_STYLE);
        EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW)
            << "not the standard resizable frame";
        EXPECT_EQ(style & (WS_MINIMIZE | WS_MAXIMIZE), 0);
        EXPECT_EQ(ExStyle(settingsWindow) & WS_EX_TOPMOST, 0) << "the settings window is topmost";
        EXPECT_EQ(ExStyle(settingsWindow) & WS_EX_TOOLWINDOW, 0) << "a tool window gets no taskbar button";
        EXPECT_EQ(GetWindow(settingsWindow, GW_OWNER), nullptr) << "the settings window has an owner";
        EXPECT_NE(ExStyle(mainWindow) & WS_EX_TOPMOST, 0) << "the main window left the topmost band";
        EXPECT_EQ(GetForegroundWindow(), settingsWindow) << "the settings window is not the active window";
        EXPECT_FALSE(Ticked(autostartBox)) << "the box opens ticked";
        // Wine does not answer WM_GETICON across processes; the icon it hands to X is the one
        // shown.
        if (!WindowIcon(settingsWindow)) {
            // Wine hands the icon to X some time after the window is shown.
            std::vector<uint32_t> icon;
            WaitUntil([&] { return (icon = ShownIcon(settingsWindow)).size() == 32u * 32u; }, kStepTimeoutMs);
            EXPECT_EQ(icon.size(), 32u * 32u) << "the settings window shows no 32 x 32 icon";
            EXPECT_EQ(icon, XWindowIcon32(mainWindow))
                << "the settings window's icon is not the program's";
        }
    }
    {
        SCOPED_TRACE("second click on the link");
        const size_t from = LineCount();
        ClickClientOnScreen(mainWindow, kSettingsLink);  // real click: the main window is topmost, nothing covers it
        EXPECT_TRUE(target->WaitForPrefix("Vossel: settings shown", kStepTimeoutMs, from));
        EXPECT_TRUE(Settle(mainWindow)) << "the program does not answer after the click";
        EXPECT_EQ(CountTitled(*target, L"设置"), 1u);
        EXPECT_TRUE(IsWindow(settingsWindow)) << "the second click rebuilt the window";
        EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == settingsWindow; }, kStepTimeoutMs))
            << "the second click did not activate the settings window";
        EXPECT_EQ(target->WaitForPrefix("Vossel: settings unloaded", 0, from), std::nullopt);
    }
    {
        SCOPED_TRACE("focus and Tab (real keys)");
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(settingsWindow) == autostartBox; }, kStepTimeoutMs))
            << "the box does not have the focus when the window opens";
        PressKey(VK_TAB);
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(settingsWindow) == command1; }, kStepTimeoutMs))
            << "Tab does not move the focus to the button";
        PressKey(VK_TAB);
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(settingsWindow) == autostartBox; }, kStepTimeoutMs))
            << "Tab does not move the focus back to the box";
    }
    // The fade-in's lines would otherwise mix with what the keys set off.
    ASSERT_TRUE(target->WaitForPrefix("Vossel: opacity = 250", kStepTimeoutMs)) << "the fade-in did not end";
    size_t from = LineCount();
    {
        SCOPED_TRACE("Enter and Esc on the box (real keys)");
        ASSERT_EQ(FocusOf(settingsWindow), autostartBox);
        PressKey(VK_RETURN);
        PressKey(VK_ESCAPE);
        Pause(kQuietMs);
        ASSERT_TRUE(IsWindow(settingsWindow) && IsWindowVisible(settingsWindow)) << "Enter or Esc closed the window";
        EXPECT_FALSE(Ticked(autostartBox));
        EXPECT_FALSE(ReadRunValue(OwnView(), BaseName(exe)));
        // Anything that they set off shows up among the lines before the Space's line below.
    }
    {
        SCOPED_TRACE("Space ticks the box (real key)");
        PressKey(VK_SPACE);
        ASSERT_NO_FATAL_FAILURE(ExpectRunValue(true, exe, from));
        EXPECT_TRUE(Ticked(autostartBox));
        const auto lines = LinesExceptAnyMoment(*target, from);
        EXPECT_EQ(lines.size(), 1u) << "Enter, Esc and Space gave these lines:" << Joined(lines);
    }
    {
        SCOPED_TRACE("a real click clears the box");
        from = LineCount();
        ClickClientOnScreen(settingsWindow, kCheckBoxPoint);
        ASSERT_NO_FATAL_FAILURE(ExpectRunValue(false, exe, from));
        EXPECT_FALSE(Ticked(autostartBox));
    }
    {
        SCOPED_TRACE("a real click ticks it again");
        from = LineCount();
        ClickClientOnScreen(settingsWindow, kCheckBoxPoint);
        ASSERT_NO_FATAL_FAILURE(ExpectRunValue(true, exe, from));
        EXPECT_TRUE(Ticked(autostartBox));
    }
    {
        SCOPED_TRACE("Space clears it");
        from = LineCount();
        PressKey(VK_SPACE);
        ASSERT_NO_FATAL_FAILURE(ExpectRunValue(false, exe, from));
    }
    EXPECT_FALSE(target->HasExited())
        << "the program ended early; lines:" << Joined(LinesSince(*target, 0));
    EXPECT_EQ(target->WaitForPrefix("Vossel: error", 0), std::nullopt);
}

// One launch that runs until the life timer ends it: the settings window opened during the fade-in, the main window fading and
// painting beside it, every way of unloading it, and the end with the settings window open and active.
TEST_F(SettingsWindow, LivesBesideTheFadingMainWindowAndGoesWithTheLifeTimer) {
    const std::wstring exe = LongPath(TargetExe());
    ASSERT_NO_FATAL_FAILURE(Launch(exe));

    // Posted, not a real click: the window has only just appeared and is still almost transparent.
    size_t from = LineCount();
    ClickClient(mainWindow, kSettingsLink.x, kSettingsLink.y);
    HWND settingsWindow = AwaitSettings(from);
    ASSERT_NE(settingsWindow, nullptr);
    {
        SCOPED_TRACE("the fade-in goes on with the settings window open");
        ASSERT_TRUE(target->WaitForPrefix("Vossel: opacity = 250", kStepTimeoutMs))
            << "the fade-in did not reach 250; lines:" << Joined(LinesSince(*target, 0));
        const auto lines = target->Lines();
        size_t shownAt = lines.size();
        std::vector<int> levels;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].text == "Vossel: settings shown") shownAt = std::min(shownAt, i);
            int level = 0;
            if (i > shownAt &&
                std::sscanf(lines[i].text.c_str(), "Vossel: opacity = %d", &level) == 1) {
                levels.push_back(level);
            }
        }
        ASSERT_FALSE(levels.empty())
            << "the settings window opened only after the fade-in ended, or the fade stopped:"
            << Joined(LinesSince(*target, 0));
        for (size_t i = 1; i < levels.size(); ++i) {
            EXPECT_EQ(levels[i], levels[i - 1] + 5) << "opacity steps after the settings window opened";
        }
        EXPECT_EQ(levels.back(), 250);
        const Opacity opacity = LayeredAttributes(mainWindow);
        EXPECT_TRUE(opacity.layered);
        EXPECT_EQ(opacity.alpha, 250) << "opacity read back from the main window";
    }
    {
        SCOPED_TRACE("the main window repaints with the settings window open");
        // The program paints at once; held still for a moment, its update region can be seen to
        // be there, and then to be emptied, which only its painting does.
        {
            SuspendedThread hold(GetWindowThreadProcessId(mainWindow, nullptr));
            ASSERT_TRUE(hold.Suspended());
            EXPECT_TRUE(InvalidateRect(mainWindow, nullptr, FALSE));
            ASSERT_TRUE(GetUpdateRect(mainWindow, nullptr, FALSE))
                << "the invalidated region cannot be seen";
        }
        EXPECT_TRUE(
            WaitUntil([&] { return !GetUpdateRect(mainWindow, nullptr, FALSE); }, kStepTimeoutMs))
            << "the main window did not repaint";
        EXPECT_TRUE(Settle(mainWindow)) << "the main window does not answer";
        EXPECT_TRUE(IsWindow(settingsWindow));
    }
    {
        SCOPED_TRACE("\"返回\" unloads, and the next open shows the box clear");
        HWND autostartBox = FindWindowExW(settingsWindow, nullptr, L"Button", L"开机自启动");
        from = LineCount();
        ClickClientOnScreen(settingsWindow, kCheckBoxPoint);  // real click
        ASSERT_NO_FATAL_FAILURE(ExpectRunValue(true, exe, from));
        ASSERT_TRUE(Ticked(autostartBox));
        from = LineCount();
        ClickClientOnScreen(settingsWindow, kBackButton);  // real click
        ExpectUnloaded(settingsWindow, from, "\"返回\"");
        settingsWindow = OpenSettingsByClick();
        ASSERT_NE(settingsWindow, nullptr);
        autostartBox = FindWindowExW(settingsWindow, nullptr, L"Button", L"开机自启动");
        ASSERT_NE(autostartBox, nullptr);
        EXPECT_TRUE(Ticked(autostartBox)) << "the reopened box does not show the registered entry";
        // Unloading does not touch the value.
        EXPECT_TRUE(ReadRunValue(OwnView(), BaseName(exe)));
    }
    // Posted: the close button and Alt+F4 reach the window as these two messages, and the frame
    // that Wine draws has no fixed place for the button.
    const struct {
        const char* how;
        void (*close)(HWND);
    } closes[] = {{"the close button (SC_CLOSE)", &SystemMenuClose}, {"WM_CLOSE", &RequestClose}};
    for (const auto& close : closes) {
        SCOPED_TRACE(close.how);
        HWND autostartBox = FindWindowExW(settingsWindow, nullptr, L"Button", L"开机自启动");
        // A real click that turns the box over, so that finding it so after reopening means
        // something.
        const bool before = Ticked(autostartBox);
        const size_t clickedAt = LineCount();
        ClickClientOnScreen(settingsWindow, kCheckBoxPoint);
        EXPECT_TRUE(WaitUntil([&] { return Ticked(autostartBox) != before; }, kStepTimeoutMs))
            << "the click did not change the box; lines:" << Joined(LinesSince(*target, clickedAt));
        from = LineCount();
        close.close(settingsWindow);
        ExpectUnloaded(settingsWindow, from, close.how);
        settingsWindow = OpenSettingsByClick();
        ASSERT_NE(settingsWindow, nullptr);
        autostartBox = FindWindowExW(settingsWindow, nullptr, L"Button", L"开机自启动");
        EXPECT_EQ(Ticked(autostartBox), !before) << "the reopened box does not show the registry";
    }
    {
        SCOPED_TRACE("the life timer ends the program with the settings window open and active");
        EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == settingsWindow; }, kStepTimeoutMs));
        ASSERT_FALSE(target->HasExited())
            << "the program ended before 15 s:" << Joined(LinesSince(*target, 0));
        from = LineCount();
        const auto exitCode = target->WaitForExit(60000);
        ASSERT_TRUE(exitCode) << "the program still runs long after 15 s";
        EXPECT_EQ(*exitCode, 0u);
        const auto lines = LinesExceptAnyMoment(*target, from);
        EXPECT_EQ(lines, std::vector<std::string>{"Vossel: end timer"})
            << "the end ran more than the life timer (the settings window.s unload, a fade-out):" << Joined(lines);
        // The life timer starts with the main window, after the process was created and before its first line.
        const auto first = target->Lines().front();
        EXPECT_GE(target->ExitSeconds(), 14.9);
        EXPECT_LE(target->ExitSeconds() - first.seconds, 25.0) << "from the first line on";
        EXPECT_FALSE(IsWindow(mainWindow));
        EXPECT_FALSE(IsWindow(settingsWindow));
    }
}

// A copy named otherwise, in a folder whose path holds spaces: the value takes the copy's base
// name, and its data the copy's full path in quotation marks.
TEST_F(SettingsWindow, CopyInAFolderWithSpacesWritesItsQuotedPath) {
    copy = std::make_unique<ExeCopy>(TargetExe(), TempFolder() + L"Vossel Test Dir", L"Vossel Copy.EXE");
    ASSERT_TRUE(copy->copied) << "could not copy the exe to " << Utf8(copy->path);
    ASSERT_NO_FATAL_FAILURE(Launch(copy->path));
    HWND settingsWindow = OpenSettingsByClick();
    ASSERT_NE(settingsWindow, nullptr);
    size_t from = LineCount();
    ClickClientOnScreen(settingsWindow, kCheckBoxPoint);  // real click
    ASSERT_NO_FATAL_FAILURE(ExpectRunValue(true, copy->path, from));
    EXPECT_FALSE(ReadRunValue(OwnView(), BaseName(TargetExe())))
        << "the value is named after the original";
    from = LineCount();
    ClickClientOnScreen(settingsWindow, kCheckBoxPoint);
    ASSERT_NO_FATAL_FAILURE(ExpectRunValue(false, copy->path, from));
}

}  // namespace
}  // namespace vossel::e2e
