// The program as a screen reader meets it: its windows read through Active Accessibility from this
// process, name changes caught by an out-of-context event hook, and the keyboard's way to the
// settings through the main window's system menu, with real keys.
//
// IAccessible's interface id comes from __uuidof: taken from -loleacc, IID_IAccessible names an
// import thunk, and every QueryInterface with it answers E_NOINTERFACE.
#include <windows.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "harness.h"

namespace vossel::e2e {
namespace {

using Microsoft::WRL::ComPtr;

constexpr DWORD kStartTimeoutMs = 240000;  // a 32-bit start runs its Wine under emulation
constexpr DWORD kStepTimeoutMs = 15000;

class ComApartment {
  public:
    ComApartment() : result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(result)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    HRESULT result;
};

// Out-of-context events arrive as messages to this thread: waiting has to pump.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    return true;
}

struct NameChange {
    DWORD event;
    HWND window;
    LONG object;
    LONG child;
};

// One hook for the whole test process; the callback has no context of its own.
std::vector<NameChange> nameChanges;

void CALLBACK OnNameChange(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                           DWORD) {
    nameChanges.push_back({event, window, object, child});
}

class NameChangeHook {
  public:
    NameChangeHook()
        : hook(SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr,
                               &OnNameChange, 0, 0,
                               WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS)),
          alertHook(SetWinEventHook(EVENT_SYSTEM_ALERT, EVENT_SYSTEM_ALERT, nullptr, &OnNameChange,
                                    0, 0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS)) {
        nameChanges.clear();
    }
    ~NameChangeHook() {
        if (hook) UnhookWinEvent(hook);
        if (alertHook) UnhookWinEvent(alertHook);
    }
    NameChangeHook(const NameChangeHook&) = delete;
    NameChangeHook& operator=(const NameChangeHook&) = delete;
    bool Set() const { return hook != nullptr; }

  private:
    HWINEVENTHOOK hook;
    HWINEVENTHOOK alertHook;
};

VARIANT Child(LONG id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

std::wstring TakeText(BSTR text) {
    std::wstring result = text ? std::wstring(text, SysStringLen(text)) : L"";
    SysFreeString(text);
    return result;
}

std::wstring NameOf(IAccessible* object, LONG child) {
    BSTR name = nullptr;
    object->get_accName(Child(child), &name);
    return TakeText(name);
}

LONG RoleOf(IAccessible* object, LONG child) {
    VARIANT role;
    VariantInit(&role);
    if (FAILED(object->get_accRole(Child(child), &role)) || role.vt != VT_I4) return -1;
    return role.lVal;
}

LONG StateOf(IAccessible* object, LONG child) {
    VARIANT state;
    VariantInit(&state);
    if (FAILED(object->get_accState(Child(child), &state)) || state.vt != VT_I4) return -1;
    return state.lVal;
}

ComPtr<IAccessible> ClientObject(HWND window) {
    ComPtr<IAccessible> object;
    const HRESULT hr =
        AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(object.GetAddressOf()));
    if (FAILED(hr)) ADD_FAILURE() << "AccessibleObjectFromWindow: 0x" << std::hex << hr;
    return object;
}

// The caption of the last "Vossel: Label2 = "..."" line.
std::wstring LastCaption(const Target& target) {
    std::string caption;
    const std::string prefix = "Vossel: Label2 = \"";
    for (const auto& line : target.Lines()) {
        if (line.text.rfind(prefix, 0) == 0 && line.text.size() > prefix.size()) {
            caption = line.text.substr(prefix.size(), line.text.size() - prefix.size() - 1);
        }
    }
    return Wide(caption);
}

// One launch: the tree, the event of the first caption, the link's default action, and the
// settings window that it opens, read the same way.
TEST(Accessibility, ScreenReaderReadsTheMainWindowHearsItsCaptionAndFollowsTheLink) {
    ComApartment apartment;
    // Set before the launch: the first caption comes with the first paint.
    NameChangeHook hook;
    ASSERT_TRUE(hook.Set());
    Target target(TargetExe());
    ASSERT_TRUE(target.Started()) << target.StartError();
    HWND mainWindow = target.WaitForWindow(L"Vossel", kStartTimeoutMs);
    ASSERT_NE(mainWindow, nullptr) << target.Describe();
    ASSERT_TRUE(target.WaitForPrefix("Vossel: Label2 = ", kStepTimeoutMs)) << target.Describe();

    const bool heard = PumpUntil(
        [&] {
            for (const auto& change : nameChanges) {
                if (change.event == EVENT_OBJECT_NAMECHANGE && change.window == mainWindow &&
                    change.object == OBJID_CLIENT && change.child == 2) {
                    return true;
                }
            }
            return false;
        },
        kStepTimeoutMs);
    EXPECT_TRUE(heard) << "no EVENT_OBJECT_NAMECHANGE for child 2 of the client area; "
                       << nameChanges.size() << " name changes in all";

    {
        // Spoken without the focus, once. Wine's uiautomationcore has no notification, so the
        // alert of Windows before 10 1709 stands in, and is read back as a reader would.
        SCOPED_TRACE("the announcement");
        const auto announce = target.WaitForPrefix("Vossel: announce ", kStepTimeoutMs);
        ASSERT_TRUE(announce) << target.Describe();
        std::printf("  %s\n", announce->text.c_str());
        if (announce->text == "Vossel: announce EVENT_SYSTEM_ALERT") {
            EXPECT_TRUE(PumpUntil(
                [&] {
                    for (const auto& change : nameChanges) {
                        if (change.event == EVENT_SYSTEM_ALERT && change.window == mainWindow &&
                            change.object == OBJID_ALERT) {
                            return true;
                        }
                    }
                    return false;
                },
                kStepTimeoutMs));
            ComPtr<IAccessible> alert;
            VARIANT child;
            VariantInit(&child);
            ASSERT_EQ(AccessibleObjectFromEvent(mainWindow, static_cast<DWORD>(OBJID_ALERT),
                                                CHILDID_SELF, alert.GetAddressOf(), &child),
                      S_OK);
            EXPECT_EQ(RoleOf(alert.Get(), CHILDID_SELF), ROLE_SYSTEM_ALERT);
            EXPECT_EQ(Utf8(NameOf(alert.Get(), CHILDID_SELF)),
                      Utf8(std::wstring(ExpectedTexts().prompt) + L" " + LastCaption(target) +
                           L" " + ExpectedTexts().unit));
        } else {
            EXPECT_EQ(announce->text, "Vossel: announce UiaRaiseNotificationEvent 0x00000000");
        }
        for (int i = 0; i < 5; ++i) ForcePaint(mainWindow);
        // The paint is validated before its handler runs: the lines are all in once it answers.
        EXPECT_TRUE(Settle(mainWindow));
        EXPECT_EQ(CountLines(target, std::regex("^Vossel: announce ")), 1u) << target.Describe();
    }

    ComPtr<IAccessible> client = ClientObject(mainWindow);
    ASSERT_TRUE(client);
    const std::wstring caption = LastCaption(target);
    {
        SCOPED_TRACE("tree");
        LONG count = 0;
        EXPECT_EQ(client->get_accChildCount(&count), S_OK);
        EXPECT_EQ(count, 4);
        EXPECT_EQ(NameOf(client.Get(), CHILDID_SELF), L"Vossel");
        EXPECT_EQ(RoleOf(client.Get(), CHILDID_SELF), ROLE_SYSTEM_CLIENT);
        const struct {
            LONG role;
            std::wstring name;
        } expected[] = {{ROLE_SYSTEM_STATICTEXT, ExpectedTexts().prompt},
                        {ROLE_SYSTEM_STATICTEXT, caption.empty() ? L"--" : caption},
                        {ROLE_SYSTEM_LINK, ExpectedTexts().link},
                        {ROLE_SYSTEM_STATICTEXT, ExpectedTexts().unit}};
        for (LONG id = 1; id <= 4; ++id) {
            EXPECT_EQ(RoleOf(client.Get(), id), expected[id - 1].role) << "child " << id;
            EXPECT_EQ(Utf8(NameOf(client.Get(), id)), Utf8(expected[id - 1].name))
                << "child " << id;
        }
        EXPECT_NE(StateOf(client.Get(), 3) & STATE_SYSTEM_LINKED, 0);
        EXPECT_NE(StateOf(client.Get(), 2) & STATE_SYSTEM_READONLY, 0);

        const std::wstring sentence =
            expected[0].name + L" " + expected[1].name + L" " + expected[3].name;
        BSTR description = nullptr;
        client->get_accDescription(Child(CHILDID_SELF), &description);
        EXPECT_EQ(Utf8(TakeText(description)), Utf8(sentence));
        BSTR help = nullptr;
        client->get_accHelp(Child(CHILDID_SELF), &help);
        EXPECT_EQ(Utf8(TakeText(help)), Utf8(sentence)) << "UI Automation reads no description";

        ComPtr<IDispatch> none;
        EXPECT_EQ(client->get_accChild(Child(3), none.GetAddressOf()), S_FALSE);
        EXPECT_EQ(client->get_accChild(Child(5), none.GetAddressOf()), E_INVALIDARG);
        BSTR nothing = nullptr;
        EXPECT_EQ(client->get_accName(Child(5), &nothing), E_INVALIDARG);
        SysFreeString(nothing);

        VARIANT end;
        VariantInit(&end);
        EXPECT_EQ(client->accNavigate(NAVDIR_FIRSTCHILD, Child(CHILDID_SELF), &end), S_OK);
        EXPECT_TRUE(end.vt == VT_I4 && end.lVal == 1);
        EXPECT_EQ(client->accNavigate(NAVDIR_NEXT, Child(2), &end), S_OK);
        EXPECT_TRUE(end.vt == VT_I4 && end.lVal == 3);
        EXPECT_EQ(client->accNavigate(NAVDIR_NEXT, Child(4), &end), S_FALSE);
        EXPECT_EQ(end.vt, VT_EMPTY);
    }
    {
        SCOPED_TRACE("the link's place");
        ASSERT_EQ(ScreenDpi(), 96) << "the place below is a 96 dpi place";
        const RECT kSettingsLink = ExpectedTexts().linkBox;
        const RECT clientArea = ClientRectOnScreen(mainWindow);
        LONG left = 0, top = 0, width = 0, height = 0;
        EXPECT_EQ(client->accLocation(&left, &top, &width, &height, Child(3)), S_OK);
        EXPECT_EQ(left, clientArea.left + kSettingsLink.left);
        EXPECT_EQ(top, clientArea.top + kSettingsLink.top);
        EXPECT_EQ(width, kSettingsLink.right - kSettingsLink.left);
        EXPECT_EQ(height, kSettingsLink.bottom - kSettingsLink.top);
        VARIANT hit;
        VariantInit(&hit);
        EXPECT_EQ(client->accHitTest(left + width / 2, top + height / 2, &hit), S_OK);
        EXPECT_TRUE(hit.vt == VT_I4 && hit.lVal == 3) << "hit vt " << hit.vt;
        // On the picture, away from every label: the client area itself.
        EXPECT_EQ(client->accHitTest(clientArea.left + 8, clientArea.top + 140, &hit), S_OK);
        EXPECT_TRUE(hit.vt == VT_I4 && hit.lVal == CHILDID_SELF) << "hit vt " << hit.vt;
    }
    HWND settingsWindow = nullptr;
    {
        SCOPED_TRACE("the link's default action");
        BSTR action = nullptr;
        EXPECT_EQ(client->get_accDefaultAction(Child(3), &action), S_OK);
        EXPECT_FALSE(TakeText(action).empty());
        EXPECT_EQ(client->accDoDefaultAction(Child(1)), DISP_E_MEMBERNOTFOUND)
            << "static text has no action";
        const size_t from = target.Lines().size();
        EXPECT_EQ(client->accDoDefaultAction(Child(3)), S_OK);
        EXPECT_TRUE(target.WaitForPrefix("Vossel: settings shown", kStepTimeoutMs, from))
            << target.Describe();
        settingsWindow = target.WaitForWindow(ExpectedTexts().settingsTitle, kStepTimeoutMs);
        ASSERT_NE(settingsWindow, nullptr);
        const size_t again = target.Lines().size();
        EXPECT_EQ(client->accDoDefaultAction(Child(3)), S_OK);
        EXPECT_TRUE(target.WaitForPrefix("Vossel: settings shown", kStepTimeoutMs, again));
        EXPECT_TRUE(Settle(mainWindow)) << "the program does not answer after the second action";
        EXPECT_EQ(CountTitled(target, ExpectedTexts().settingsTitle), 1u)
            << "a second settings window";
    }
    {
        // The controls are real windows: the system describes them. What a screen reader needs
        // is a name and role for each, and the focus on the first one when the window opens.
        SCOPED_TRACE("the settings window");
        HWND check =
            FindWindowExW(settingsWindow, nullptr, L"Button", ExpectedTexts().autostartBox);
        HWND back = FindWindowExW(settingsWindow, nullptr, L"Button", ExpectedTexts().back);
        ASSERT_NE(check, nullptr);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(FocusOf(settingsWindow), check) << "the check box does not have the focus";
        ComPtr<IAccessible> settings = ClientObject(settingsWindow);
        ASSERT_TRUE(settings);
        LONG count = 0;
        settings->get_accChildCount(&count);
        EXPECT_GE(count, 2) << "the two controls are not in the tree";
        for (HWND control : {check, back}) {
            ComPtr<IAccessible> object;
            ASSERT_EQ(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT),
                                                 __uuidof(IAccessible),
                                                 reinterpret_cast<void**>(object.GetAddressOf())),
                      S_OK);
            wchar_t text[64] = {};
            GetWindowTextW(control, text, 64);
            BSTR shortcut = nullptr;
            object->get_accKeyboardShortcut(Child(CHILDID_SELF), &shortcut);
            // Recorded for the reader of the log: the design's captions carry no access keys.
            std::printf("  %s: role %ld, name \"%s\", shortcut \"%s\"\n", Utf8(text).c_str(),
                        RoleOf(object.Get(), CHILDID_SELF),
                        Utf8(NameOf(object.Get(), CHILDID_SELF)).c_str(),
                        Utf8(TakeText(shortcut)).c_str());
            EXPECT_EQ(Utf8(NameOf(object.Get(), CHILDID_SELF)), Utf8(text));
        }
    }
}

// Alt+Space, then T, as real keys through X: the item runs what a click on the link runs.
TEST(Accessibility, SystemMenuItemOpensTheOneSettingsWindowFromTheKeyboard) {
    Target target(TargetExe());
    ASSERT_TRUE(target.Started()) << target.StartError();
    HWND mainWindow = target.WaitForWindow(L"Vossel", kStartTimeoutMs);
    ASSERT_NE(mainWindow, nullptr) << target.Describe();
    // Fully drawn for the screenshot once the fade-in has come to rest.
    ASSERT_TRUE(target.WaitForPrefix("Vossel: opacity = 250", kStepTimeoutMs)) << target.Describe();

    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const size_t from = target.Lines().size();
        // The window comes up without the focus: the user clicks it first, on its picture, which
        // does nothing of its own.
        const RECT client = ClientRectOnScreen(mainWindow);
        ClickScreen(client.left + 8, client.top + 140);
        ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == mainWindow; }, kStepTimeoutMs));
        // No window manager runs on the test screen, so nothing gives the X input focus to the
        // active window: it is given here, as a click on the title bar would.
        ASSERT_EQ(RunUnix("xdotool windowfocus --sync $(xdotool search --onlyvisible --name "
                          "'^Vossel$' | head -n 1) && xdotool key alt+space",
                          30000),
                  0);
        // T goes to the menu only once it is open: a popup menu of the program's is on screen.
        const auto menuOpen = [&] {
            for (HWND menu : WindowsOfClass(target.ProcessId(), L"#32768")) {
                if (IsWindowVisible(menu)) return true;
            }
            return false;
        };
        ASSERT_TRUE(WaitUntil(menuOpen, kStepTimeoutMs)) << "Alt+Space opened no system menu";
        if (round == 1) SaveScreenshotPng(L"system-menu-" + std::to_wstring(sizeof(void*) * 8));
        ASSERT_EQ(RunUnix("xdotool key t", 30000), 0);
        ASSERT_TRUE(target.WaitForPrefix("Vossel: settings shown", kStepTimeoutMs, from))
            << target.Describe();
        HWND settings = target.WaitForWindow(ExpectedTexts().settingsTitle, kStepTimeoutMs);
        ASSERT_NE(settings, nullptr);
        ASSERT_TRUE(Settle(settings));
        EXPECT_EQ(CountTitled(target, ExpectedTexts().settingsTitle), 1u);
        EXPECT_FALSE(target.HasExited());
    }
}

}  // namespace
}  // namespace vossel::e2e
