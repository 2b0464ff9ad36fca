// Both windows on screens of other sizes and scales, and the main window after a DPI change.
//
// These run only where a ctest entry asks for them with VOSSEL_E2E_PLACEMENT=<dpi>, each entry on
// a private X screen of its own size (VOSSEL_XVFB_SCREEN), so the main end-to-end runs pay nothing
// for them.
#include <windows.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "harness.h"

namespace vossel::e2e {
namespace {

constexpr DWORD kStartTimeoutMs = 240000;
constexpr DWORD kRestTimeoutMs = 8000;
constexpr DWORD kStepTimeoutMs = 15000;

// The design in twips: the client areas, and the labels that show whether the layout scaled.
constexpr RECT kMainClient{16395, 8325, 16395 + 4005, 8325 + 2445};
constexpr RECT kSettingsClient{12570, 9345, 12570 + 3075, 9345 + 840};
constexpr RECT kPromptBox{240, 960, 240 + 1515, 960 + 300};
constexpr RECT kLinkBox{3480, 2040, 3480 + 375, 2040 + 255};
constexpr RECT kAutostartBox{240, 240, 240 + 1215, 240 + 255};
constexpr RECT kBackButton{1920, 240, 1920 + 735, 240 + 300};
constexpr int kPictureWidth = 266;

int Px(int twips, int dpi) { return MulDiv(twips, dpi, 1440); }
RECT Px(const RECT& twips, int dpi) {
    return {Px(twips.left, dpi), Px(twips.top, dpi), Px(twips.right, dpi), Px(twips.bottom, dpi)};
}
POINT Middle(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

std::string Show(const RECT& r) {
    char text[80];
    std::snprintf(text, sizeof(text), "(%ld, %ld) - (%ld, %ld)", r.left, r.top, r.right, r.bottom);
    return text;
}

bool Inside(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// The DPI that the ctest entry asks for, or 0 when these tests are not to run.
int RequestedDpi() {
    const char* value = std::getenv("VOSSEL_E2E_PLACEMENT");
    return value ? std::atoi(value) : 0;
}

RECT WorkArea(HWND window) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
    return info.rcWork;
}

RECT WindowRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

// The window's outer rectangle if its client area stood at `client`, with the frame it has.
RECT FramedAt(HWND window, const RECT& client) {
    const RECT outer = WindowRect(window);
    const RECT inner = ClientRectOnScreen(window);
    return {client.left - (inner.left - outer.left), client.top - (inner.top - outer.top),
            client.right + (outer.right - inner.right),
            client.bottom + (outer.bottom - inner.bottom)};
}

// Once its update region is empty the window's paint has begun, and once its thread answers the
// paint is over.
bool Drawn(HWND window) {
    return WaitUntil([window] { return !GetUpdateRect(window, nullptr, FALSE); }, kStepTimeoutMs) &&
           Settle(window, kStepTimeoutMs);
}

// Pixels of the text colour in the prompt's scaled box, right of where its 96 dpi box ended
// (x = 117); the picture there is light, the text dark.
int PromptInk(const Image& screen, const RECT& client, const RECT& prompt) {
    int ink = 0;
    for (int y = prompt.top; y < prompt.bottom; ++y) {
        for (int x = 125; x < prompt.right; ++x) {
            ink += ColourNear(screen.At(client.left + x, client.top + y),
                              GetSysColor(COLOR_BTNTEXT), 90);
        }
    }
    return ink;
}

// The main window's prompt, link and unit, read through their accessible names and places, each
// whole on one line of its box in the face and size the language draws it in.
void ExpectWholeLabels(HWND main, int dpi) {
    // The faces as the program names them, the link's in 9 points, the others' in 10.5.
    const std::wstring language = ExpectedTexts().language;
    const bool english = language == L"en", traditional = language == L"zh-Hant";
    const wchar_t* face = english ? L"Segoe UI" : traditional ? L"Microsoft JhengHei UI" : L"微软雅黑";
    const struct {
        LONG id;
        const wchar_t* face;
        int centipoints;
        BYTE charset;
    } labels[] = {
        {1, face, 1050, english ? ANSI_CHARSET : traditional ? CHINESEBIG5_CHARSET : GB2312_CHARSET},
        {3, english ? face : L"宋体", 900, english ? ANSI_CHARSET : GB2312_CHARSET},
        {4, face, 1050, ANSI_CHARSET}};
    struct Apartment {
        Apartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
        ~Apartment() { CoUninitialize(); }
    } apartment;
    Microsoft::WRL::ComPtr<IAccessible> client;
    ASSERT_EQ(AccessibleObjectFromWindow(main, static_cast<DWORD>(OBJID_CLIENT),
                                         __uuidof(IAccessible),
                                         reinterpret_cast<void**>(client.GetAddressOf())),
              S_OK);
    HDC dc = CreateCompatibleDC(nullptr);
    for (const auto& label : labels) {
        VARIANT child{};
        child.vt = VT_I4;
        child.lVal = label.id;
        BSTR read = nullptr;
        LONG left = 0, top = 0, width = 0, height = 0;
        client->get_accName(child, &read);
        client->accLocation(&left, &top, &width, &height, child);
        const std::wstring name = read ? std::wstring(read, SysStringLen(read)) : L"";
        SysFreeString(read);
        LOGFONTW lf{};
        lf.lfHeight = -MulDiv(label.centipoints, dpi, 7200);
        lf.lfCharSet = label.charset;
        lstrcpynW(lf.lfFaceName, label.face, LF_FACESIZE);
        HFONT font = CreateFontIndirectW(&lf);
        HGDIOBJ old = SelectObject(dc, font);
        SIZE need = TextExtent(dc, name, width, false);
        // The last glyph's blank after its ink (a colon's) may lie past the box.
        ABC last{};
        if (!name.empty() && GetCharABCWidthsW(dc, name.back(), name.back(), &last) && last.abcC > 0)
            need.cx -= static_cast<LONG>(last.abcC);
        SelectObject(dc, old);
        DeleteObject(font);
        EXPECT_FALSE(name.empty()) << "label " << label.id;
        EXPECT_LE(need.cx, width) << "label " << label.id << " \"" << Utf8(name) << "\"";
        EXPECT_LE(need.cy, height) << "label " << label.id << " \"" << Utf8(name) << "\"";
    }
    DeleteDC(dc);
}

struct Launch {
    std::unique_ptr<Target> target;
    HWND main = nullptr;
};

// Starts the exe with the prefix at `dpi` and waits for the fade-in to come to rest.
Launch Start(int dpi) {
    Launch launch;
    LogPixelsOverride override(static_cast<DWORD>(dpi));
    launch.target = std::make_unique<Target>(TargetExe());
    if (!launch.target->Started()) return launch;
    launch.main = launch.target->WaitForWindow(L"Vossel", kStartTimeoutMs);
    if (launch.main) launch.target->WaitForPrefix("Vossel: opacity = 250", kRestTimeoutMs);
    return launch;
}

std::wstring ScreenName() {
    return std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) + L"x" +
           std::to_wstring(GetSystemMetrics(SM_CYSCREEN));
}

TEST(ScreenPlacement, BothWindowsLieWhollyInsideTheWorkAreaAndSideBySide) {
    const int dpi = RequestedDpi();
    if (dpi == 0) GTEST_SKIP() << "run by the e2e_placement_* entries only";
    const Launch launch = Start(dpi);
    ASSERT_TRUE(launch.target->Started()) << launch.target->StartError();
    ASSERT_NE(launch.main, nullptr) << launch.target->Describe();

    // The link, where this DPI puts it (posted: the click is judged, not the pointer's path).
    const size_t from = launch.target->Lines().size();
    const POINT link = Middle(Px(kLinkBox, dpi));
    ClickClient(launch.main, link.x, link.y);
    ASSERT_TRUE(launch.target->WaitForPrefix("Vossel: settings shown", kStepTimeoutMs, from))
        << "a click on the link did not open the settings: " << launch.target->Describe();
    const HWND settings = launch.target->WaitForWindow(ExpectedTexts().settingsTitle, kStepTimeoutMs);
    ASSERT_NE(settings, nullptr);
    EXPECT_TRUE(Drawn(settings) && Drawn(launch.main)) << "the windows did not finish painting";
    SaveScreenshotPng(L"placement-" + std::wstring(ExpectedTexts().language) + L"-" + ScreenName() +
                      L"-" + std::to_wstring(dpi) + L"dpi");
    {
        SCOPED_TRACE("the main window's texts");
        ExpectWholeLabels(launch.main, dpi);
    }
    {
        SCOPED_TRACE("the settings window's texts");
        ExpectWholeTexts(*launch.target, settings, dpi);
    }

    const RECT work = WorkArea(launch.main);
    struct {
        const char* name;
        HWND window;
        RECT designTwips;
    } windows[] = {{"main window", launch.main, kMainClient},
                   {"settings window", settings, kSettingsClient}};
    for (const auto& w : windows) {
        SCOPED_TRACE(w.name);
        const RECT client = ClientRectOnScreen(w.window);
        const RECT design = Px(w.designTwips, dpi);
        EXPECT_NEAR(client.right - client.left, design.right - design.left, 1) << "client width";
        EXPECT_NEAR(client.bottom - client.top, design.bottom - design.top, 1) << "client height";
        EXPECT_TRUE(Inside(work, WindowRect(w.window)))
            << "window " << Show(WindowRect(w.window)) << ", work area " << Show(work);
    }

    // Where the main window's design place fits, it is kept exactly; the settings window's too,
    // as long as it does not fall under the main window.
    const RECT mainDesign = Px(kMainClient, dpi);
    const bool mainFits = Inside(work, FramedAt(launch.main, mainDesign));
    if (mainFits) {
        const RECT client = ClientRectOnScreen(launch.main);
        EXPECT_NEAR(client.left, mainDesign.left, 1);
        EXPECT_NEAR(client.top, mainDesign.top, 1);
    }
    const RECT settingsDesign = Px(kSettingsClient, dpi);
    RECT overlap{};
    const RECT settingsFramed = FramedAt(settings, settingsDesign);
    const RECT mainNow = WindowRect(launch.main);
    if (mainFits && Inside(work, settingsFramed) &&
        !IntersectRect(&overlap, &settingsFramed, &mainNow)) {
        const RECT client = ClientRectOnScreen(settings);
        EXPECT_NEAR(client.left, settingsDesign.left, 1);
        EXPECT_NEAR(client.top, settingsDesign.top, 1);
    }
    const RECT settingsNow = WindowRect(settings);
    EXPECT_FALSE(IntersectRect(&overlap, &settingsNow, &mainNow))
        << "the settings window " << Show(settingsNow) << " lies under the topmost main window "
        << Show(mainNow);
}

// The message that Windows sends when the window moves onto a monitor of another scale. Its
// rectangle must be in the receiving process, so it is written there.
bool SendDpiChanged(const Target& target, HWND window, int dpi, const RECT& suggested) {
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, target.ProcessId());
    if (!process) return false;
    void* remote =
        VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    bool sent =
        remote && WriteProcessMemory(process, remote, &suggested, sizeof(suggested), nullptr);
    DWORD_PTR result = 0;
    sent = sent && SendMessageTimeoutW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                                       reinterpret_cast<LPARAM>(remote), SMTO_NORMAL,
                                       kStepTimeoutMs, &result);
    if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return sent;
}

TEST(ScreenPlacement, MainWindowFollowsADpiChange) {
    if (RequestedDpi() != 96 || GetSystemMetrics(SM_CXSCREEN) < 1600 ||
        GetSystemMetrics(SM_CYSCREEN) < 900) {
        GTEST_SKIP() << "run by the 96 dpi e2e_placement_* entries of 1600 x 900 and more";
    }
    constexpr int kNewDpi = 144;
    const Launch launch = Start(96);
    ASSERT_TRUE(launch.target->Started()) << launch.target->StartError();
    ASSERT_NE(launch.main, nullptr) << launch.target->Describe();

    // The suggested rectangle: the frame as it is, around the client area at the new scale.
    const RECT design = Px(kMainClient, kNewDpi);
    const RECT moved{600, 300, 600 + design.right - design.left, 300 + design.bottom - design.top};
    const RECT clientBefore = ClientRectOnScreen(launch.main);
    const RECT suggested = FramedAt(launch.main, moved);
    // The handler has moved the window when the message returns. Its repaint reaches the X
    // screen a moment after the paint itself, so the screen is read until the prompt shows there.
    ASSERT_TRUE(SendDpiChanged(*launch.target, launch.main, kNewDpi, suggested));
    const RECT prompt = Px(kPromptBox, kNewDpi);
    RECT client{};
    std::string error;
    Image screen;
    int ink = 0;
    WaitUntil(
        [&] {
            client = ClientRectOnScreen(launch.main);
            screen = Screenshot(&error);
            ink = PromptInk(screen, client, prompt);
            return ink >= 20;
        },
        kStepTimeoutMs);
    SaveScreenshotPng(L"placement-dpi-change-96-to-144");

    EXPECT_EQ(client.left, moved.left)
        << "before: " << Show(clientBefore) << ", now " << Show(client);
    EXPECT_EQ(client.top, moved.top);
    EXPECT_EQ(client.right - client.left, 401);
    EXPECT_EQ(client.bottom - client.top, 245);

    ASSERT_FALSE(screen.Empty()) << error;
    const auto at = [&](int x, int y) { return screen.At(client.left + x, client.top + y); };
    EXPECT_GE(ink, 20) << "no text of the prompt in its box at " << kNewDpi << " dpi";
    // The picture keeps its pixel size: right of it, the button face.
    EXPECT_PRED3(ColourNear, at(kPictureWidth + 20, 40), GetSysColor(COLOR_BTNFACE), 12);

    // The link takes clicks in its scaled box.
    const size_t from = launch.target->Lines().size();
    const POINT link = Middle(Px(kLinkBox, kNewDpi));
    ClickClient(launch.main, link.x, link.y);
    ASSERT_TRUE(launch.target->WaitForPrefix("Vossel: settings shown", kStepTimeoutMs, from))
        << "a click on the link at its scaled place did nothing";

    // The settings window's controls follow too.
    const HWND settings = launch.target->WaitForWindow(ExpectedTexts().settingsTitle, kStepTimeoutMs);
    ASSERT_NE(settings, nullptr);
    const RECT settingsDesign = Px(kSettingsClient, kNewDpi);
    const RECT settingsClient = ClientRectOnScreen(settings);
    const RECT settingsMoved{settingsClient.left, settingsClient.top,
                             settingsClient.left + settingsDesign.right - settingsDesign.left,
                             settingsClient.top + settingsDesign.bottom - settingsDesign.top};
    ASSERT_TRUE(
        SendDpiChanged(*launch.target, settings, kNewDpi, FramedAt(settings, settingsMoved)));
    EXPECT_TRUE(Drawn(settings)) << "the settings window did not finish painting";
    SaveScreenshotPng(L"placement-dpi-change-settings-96-to-144");
    const RECT after = ClientRectOnScreen(settings);
    EXPECT_EQ(after.right - after.left, 308);
    EXPECT_EQ(after.bottom - after.top, 84);
    const struct {
        const wchar_t* caption;
        RECT twips;
    } controls[] = {{ExpectedTexts().autostartBox, kAutostartBox}, {ExpectedTexts().back, kBackButton}};
    for (const auto& control : controls) {
        const HWND child = FindWindowExW(settings, nullptr, L"Button", control.caption);
        ASSERT_NE(child, nullptr) << Utf8(control.caption);
        RECT r{};
        GetWindowRect(child, &r);
        const RECT want = Px(control.twips, kNewDpi);
        EXPECT_EQ(r.left - after.left, want.left) << Utf8(control.caption);
        EXPECT_EQ(r.top - after.top, want.top) << Utf8(control.caption);
        EXPECT_EQ(r.right - after.left, want.right) << Utf8(control.caption);
        EXPECT_EQ(r.bottom - after.top, want.bottom) << Utf8(control.caption);
    }
}

}  // namespace
}  // namespace vossel::e2e
