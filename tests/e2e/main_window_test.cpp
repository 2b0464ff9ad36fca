// The main window as it looks from outside, at 96 and at 120 dpi.
//
// Under emulation each start of the 32-bit exe costs close to a minute, so all 96 dpi checks share
// one launch: the fixture observes the window once, the tests judge the observations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "harness.h"

namespace vossel::e2e {
namespace {

constexpr DWORD kRestTimeoutMs = 8000;
constexpr int kPictureWidth = 266;
constexpr int kPictureHeight = 163;
constexpr int kTolerance = 12;  // opacity 250/255 over a black root darkens by up to 5 levels

struct LabelBox {
    const char* name;
    RECT box;  // client pixels at 96 dpi
    const wchar_t* text;
    const wchar_t* face;
    int heightPx;
    BYTE charset;
    int systemColour;
};

const LabelBox kPromptLabel{"prompt", {16, 64, 117, 84}, L"您本次开机共用:", L"微软雅黑", 14, 134, COLOR_BTNTEXT};
const LabelBox kDurationLabel{"duration", {128, 56, 241, 105}, L"", L"DS-Digital", 35, 0, COLOR_HIGHLIGHT};
const LabelBox kLinkLabel{"link", {232, 136, 257, 153}, L"设置", L"宋体", 12, 134, COLOR_HIGHLIGHT};
const LabelBox kSecondsLabel{"seconds", {232, 64, 249, 81}, L"秒", L"微软雅黑", 14, 0, COLOR_BTNTEXT};

std::wstring SourceFile(const char* relative) {
    std::wstring path = Wide(VOSSEL_SOURCE_DIR) + L"/" + Wide(relative);
    if (!path.empty() && path[0] == L'/') path = L"Z:" + path;  // a Unix path seen from Wine
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

// A pixel that the labels drew over the picture: it differs from the picture's own pixel there.
bool DrawnOver(COLORREF screen, COLORREF picture) { return !ColourNear(screen, picture, 2 * kTolerance); }

int Distance(COLORREF a, COLORREF b) {
    return std::max({std::abs(GetRValue(a) - GetRValue(b)), std::abs(GetGValue(a) - GetGValue(b)),
                     std::abs(GetBValue(a) - GetBValue(b))});
}

// Where the ink of a label's text ends when it is drawn on one line, in the same faces the
// program gets from this prefix: black on white in a memory bitmap, relative to the box.
int ReferenceInkRight(const LabelBox& label) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    constexpr int kWidth = 400;
    constexpr int kHeight = 60;
    HBITMAP bitmap = CreateCompatibleBitmap(screen, kWidth, kHeight);
    ReleaseDC(nullptr, screen);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HFONT font = CreateFontW(-label.heightPx, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, label.charset,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH, label.face);
    HGDIOBJ oldFont = SelectObject(dc, font);
    RECT all{0, 0, kWidth, kHeight};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, label.text, -1, &all, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    int right = -1;
    for (int x = 0; x < kWidth; ++x) {
        for (int y = 0; y < kHeight; ++y) {
            if (DrawnOver(GetPixel(dc, x, y), RGB(255, 255, 255))) {
                right = x;
                break;
            }
        }
    }
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(font);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return right;
}

class MainWindow : public testing::Test {
protected:
    struct Observed {
        std::unique_ptr<Target> target;
        HWND window = nullptr;
        RECT client{};
        LONG_PTR style = 0;
        LONG_PTR exStyle = 0;
        HWND owner = nullptr;
        HICON icon = nullptr;
        std::vector<uint32_t> xIcon;
        Image screen;
        std::string screenError;
        Image picture;
        std::wstring screenshotPng;
        bool rested = false;
    };
    static Observed* seen;

    static void SetUpTestSuite() {
        seen = new Observed;
        seen->picture = Image::FromBmp(SourceFile("resources/main_picture.bmp"));
        seen->target = std::make_unique<Target>(TargetExe());
        if (!seen->target->Started()) return;
        seen->window = seen->target->WaitForWindow(L"Vossel", kStartTimeoutMs);
        if (!seen->window) return;
        // The look is judged once the fade-in has come to rest (or has had its chance to).
        seen->rested = seen->target->WaitForPrefix("Vossel: opacity = 250", kRestTimeoutMs).has_value();
        seen->client = ClientRectOnScreen(seen->window);
        seen->style = GetWindowLongPtrW(seen->window, GWL_STYLE);
        seen->exStyle = ExStyle(seen->window);
        seen->owner = GetWindow(seen->window, GW_OWNER);
        seen->icon = WindowIcon(seen->window);
        seen->xIcon = XWindowIcon32(seen->window);
        seen->screen = Screenshot(&seen->screenError);
        SaveScreenshotPng(L"main-window-" + std::to_wstring(sizeof(void*) * 8) + L"-harness");
    }

    static void TearDownTestSuite() {
        delete seen;
        seen = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(seen->target->Started()) << seen->target->StartError();
        ASSERT_NE(seen->window, nullptr) << "no window titled \"Vossel\" appeared: " << seen->target->Describe();
    }

    POINT Origin() const { return {seen->client.left, seen->client.top}; }

    void RequireScreenshot() {
        ASSERT_FALSE(seen->screen.Empty()) << seen->screenError;
        ASSERT_EQ(seen->picture.Width(), kPictureWidth) << "resources/main_picture.bmp";
        ASSERT_EQ(seen->picture.Height(), kPictureHeight) << "resources/main_picture.bmp";
    }

    COLORREF Screen(int x, int y) const { return seen->screen.At(seen->client.left + x, seen->client.top + y); }

    // Client pixels in the box where something was drawn over the picture.
    std::vector<POINT> Drawn(RECT box) const {
        std::vector<POINT> drawn;
        for (int y = box.top; y < box.bottom; ++y) {
            for (int x = box.left; x < box.right; ++x) {
                if (DrawnOver(Screen(x, y), seen->picture.At(x, y))) drawn.push_back({x, y});
            }
        }
        return drawn;
    }

    // `own` is the part of the box that no other label draws into.
    void ExpectText(const LabelBox& label, int otherColour, RECT own, bool edgeFree = true) {
        const COLORREF ink = GetSysColor(label.systemColour);
        const COLORREF other = GetSysColor(otherColour);
        int inColour = 0;
        int inOther = 0;
        const auto drawn = Drawn(label.box);
        for (POINT p : drawn) {
            const COLORREF pixel = Screen(p.x, p.y);
            inColour += Distance(pixel, ink) <= 60;
            inOther += Distance(pixel, other) <= 60 && PtInRect(&own, p);
        }
        EXPECT_GE(drawn.size(), 20u) << label.name << " shows no text inside its box";
        EXPECT_GE(inColour, 3) << label.name << " has no ink in its own colour";
        EXPECT_EQ(inOther, 0) << label.name << " has ink in the other label colour";
        if (!edgeFree) return;
        // Nothing of it may spill past the right edge of its box.
        const RECT outside{label.box.right, label.box.top, label.box.right + 5, label.box.bottom};
        EXPECT_EQ(Drawn(outside).size(), 0u) << label.name << " draws outside its box";
    }
};

MainWindow::Observed* MainWindow::seen = nullptr;

// Live interaction first: the program ends itself 15 s after it loads.
TEST_F(MainWindow, ClicksOutsideTheSettingsLinkDoNothing) {
    ASSERT_FALSE(seen->target->HasExited()) << "the program ended before the clicks could be tried";
    // The fade-in's lines would otherwise be taken for what the clicks did.
    ASSERT_TRUE(seen->target->WaitForPrefix("Vossel: opacity = 250", kStepTimeoutMs))
        << seen->target->Describe();
    const size_t linesBefore = seen->target->Lines().size();
    const size_t windowsBefore = seen->target->TopLevelWindows().size();
    const struct {
        const char* what;
        POINT at;
    } clicks[] = {
        {"picture, top left", {40, 20}},
        {"picture, bottom", {150, 150}},
        {"prompt", {60, 72}},
        {"duration", {180, 80}},
        {"seconds", {240, 72}},
    };
    for (const auto& click : clicks) {
        ClickClient(seen->window, click.at.x, click.at.y);
        ClickScreen(seen->client.left + click.at.x, seen->client.top + click.at.y);
    }
    // Real clicks travel through X, where nothing tells when they have arrived: they are given a
    // while, and the posted ones are surely handled once the window answers.
    Pause(1500);
    EXPECT_TRUE(Settle(seen->window)) << "the program does not answer after the clicks";
    for (const std::string& line : LinesExceptAnyMoment(*seen->target, linesBefore)) {
        ADD_FAILURE() << "a click gave the line: " << line;
    }
    EXPECT_EQ(seen->target->TopLevelWindows().size(), windowsBefore) << "a click opened a window";
    EXPECT_FALSE(seen->target->HasExited()) << "a click ended the program";
}

TEST_F(MainWindow, ClientAreaAtItsDesignPlaceAndSize) {
    ASSERT_EQ(ScreenDpi(), 96) << "the 96 dpi checks need a 96 dpi prefix";
    EXPECT_EQ(seen->client.left, 1093);
    EXPECT_EQ(seen->client.top, 555);
    EXPECT_EQ(seen->client.right - seen->client.left, 267);
    EXPECT_EQ(seen->client.bottom - seen->client.top, 163);
}

TEST_F(MainWindow, HasTitleIconFrameAndTaskbarButton) {
    if (!seen->icon) {
        // Wine does not answer WM_GETICON across processes: judge the icon it shows instead.
        ASSERT_EQ(seen->xIcon.size(), 32u * 32u) << "the window shows no 32 x 32 icon";
        const std::vector<uint8_t> ico = ReadFileBytes(SourceFile("resources/vossel.ico"));
        // One 32 x 32 24-bit image: 6 + 16 bytes of directory, a 40-byte header, rows bottom-up.
        constexpr size_t kPixels = 6 + 16 + 40;
        ASSERT_GE(ico.size(), kPixels + 32 * 32 * 3) << "resources/vossel.ico";
        int differing = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const uint8_t* bgr = &ico[kPixels + static_cast<size_t>((31 - y) * 32 + x) * 3];
                const uint32_t shown = seen->xIcon[static_cast<size_t>(y * 32 + x)];
                const COLORREF want = RGB(bgr[2], bgr[1], bgr[0]);
                const COLORREF got = RGB((shown >> 16) & 0xFF, (shown >> 8) & 0xFF, shown & 0xFF);
                differing += !ColourNear(want, got, 8) || (shown >> 24) != 0xFF;
            }
        }
        EXPECT_EQ(differing, 0) << "pixels of the shown icon that are not the program's icon";
    }
    EXPECT_EQ(seen->owner, nullptr) << "an owned window gets no taskbar button";
    EXPECT_EQ(seen->exStyle & WS_EX_TOOLWINDOW, 0) << "a tool window gets no taskbar button";
    EXPECT_EQ(seen->style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW) << "not the standard resizable frame";
    EXPECT_EQ(seen->style & (WS_MINIMIZE | WS_MAXIMIZE), 0);
}

TEST_F(MainWindow, PictureSitsAtTheOrigin) {
    ASSERT_NO_FATAL_FAILURE(RequireScreenshot());
    const Image& picture = seen->picture;
    if (!seen->rested) std::printf("note: no \"opacity = 250\" line before the screenshot\n");

    int compared = 0;
    int mismatched = 0;
    for (int y = 0; y < kPictureHeight; y += 3) {
        for (int x = 0; x < kPictureWidth; x += 3) {
            const POINT p{x, y};
            bool underLabel = false;
            for (const LabelBox* label : {&kPromptLabel, &kDurationLabel, &kLinkLabel, &kSecondsLabel}) {
                RECT around = label->box;
                InflateRect(&around, 2, 2);
                underLabel = underLabel || PtInRect(&around, p);
            }
            if (underLabel) continue;
            ++compared;
            const COLORREF want = picture.At(x, y);
            const COLORREF got = Screen(x, y);
            if (!ColourNear(want, got, kTolerance) && ++mismatched <= 5) {
                ADD_FAILURE() << "picture pixel (" << x << ", " << y << ") is " << std::hex << got
                              << " on screen, " << want << " in the file";
            }
        }
    }
    EXPECT_GT(compared, 3000);
    EXPECT_EQ(mismatched, 0) << "of " << compared << " sampled pixels";
}

TEST_F(MainWindow, EdgesOfThePictureAndTheUncoveredColumn) {
    ASSERT_NO_FATAL_FAILURE(RequireScreenshot());
    const POINT o = Origin();
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const COLORREF white = RGB(255, 255, 255);
    for (int y = 0; y < kPictureHeight; ++y) {
        EXPECT_PRED3(ColourNear, seen->screen.At(o.x + 266, o.y + y), face, kTolerance)
            << "column x = 266 at y = " << y << " is not the button face";
        EXPECT_PRED3(ColourNear, seen->screen.At(o.x, o.y + y), white, kTolerance)
            << "leftmost column at y = " << y << " is not white";
    }
    for (int y = kPictureHeight - 3; y < kPictureHeight; ++y) {
        for (int x = 0; x < kPictureWidth; ++x) {
            if (!ColourNear(seen->screen.At(o.x + x, o.y + y), white, kTolerance)) {
                ADD_FAILURE() << "bottom row y = " << y << " is not white at x = " << x;
                break;
            }
        }
    }
}

TEST_F(MainWindow, LabelsDrawTheirTextsInTheirColoursInsideTheirBoxes) {
    ASSERT_NO_FATAL_FAILURE(RequireScreenshot());
    ExpectText(kPromptLabel, COLOR_HIGHLIGHT, kPromptLabel.box);
    ExpectText(kLinkLabel, COLOR_BTNTEXT, kLinkLabel.box);
    // The duration's digits may run under the left part of "秒".
    ExpectText(kSecondsLabel, COLOR_HIGHLIGHT, {kDurationLabel.box.right, kSecondsLabel.box.top, kSecondsLabel.box.right, kSecondsLabel.box.bottom});
}

TEST_F(MainWindow, PromptStandsOnOneLine) {
    ASSERT_NO_FATAL_FAILURE(RequireScreenshot());
    const auto drawn = Drawn(kPromptLabel.box);
    ASSERT_FALSE(drawn.empty()) << "the prompt draws nothing";
    LONG right = 0;
    for (POINT p : drawn) right = std::max(right, p.x - kPromptLabel.box.left);
    const int expected = ReferenceInkRight(kPromptLabel);
    ASSERT_GT(expected, 0);
    // A colon broken onto a hidden second line ends the ink several pixels early.
    const int reach = std::min(expected, static_cast<int>(kPromptLabel.box.right - kPromptLabel.box.left) - 1);
    EXPECT_GE(right, reach - 1) << "the text's ink ends at x = " << right
                                << "; on one line it reaches x = " << reach;
}

TEST_F(MainWindow, DurationShowsItsCaptionOnly) {
    ASSERT_NO_FATAL_FAILURE(RequireScreenshot());
    std::string caption;
    for (const auto& line : seen->target->Lines()) {
        constexpr std::string_view kPrefix = "Vossel: Label2 = \"";
        if (line.text.rfind(kPrefix, 0) == 0) caption = line.text.substr(kPrefix.size());
    }
    // "秒" overlaps the right end of the box, and the duration runs under it.
    const RECT own{kDurationLabel.box.left, kDurationLabel.box.top, kSecondsLabel.box.left, kDurationLabel.box.bottom};
    if (caption.empty() || caption == "\"") {
        EXPECT_EQ(Drawn(own).size(), 0u) << "the duration has no caption but shows something";
    } else {
        SCOPED_TRACE("caption " + caption);
        ExpectText(kDurationLabel, COLOR_BTNTEXT, own, false);
    }
}

// A separate launch with the prefix at 120 dpi: the window scales, the picture does not.
TEST(MainWindowAt120Dpi, ClientAreaScalesAndThePictureKeepsItsSize) {
    std::unique_ptr<Target> target;
    HWND window = nullptr;
    {
        LogPixelsOverride dpi(120);
        target = std::make_unique<Target>(TargetExe());
        ASSERT_TRUE(target->Started()) << target->StartError();
        window = target->WaitForWindow(L"Vossel", kStartTimeoutMs);
    }
    ASSERT_NE(window, nullptr) << "no window titled \"Vossel\" appeared: " << target->Describe();
    const RECT client = ClientRectOnScreen(window);
    EXPECT_NEAR(client.left, 1366, 2);
    EXPECT_NEAR(client.top, 694, 2);
    EXPECT_NEAR(client.right - client.left, 334, 2);
    EXPECT_NEAR(client.bottom - client.top, 204, 2);

    // The 32-bit exe may paint its first frame late; judge it at rest, like the 96 dpi checks.
    target->WaitForPrefix("Vossel: opacity = 250", kRestTimeoutMs);
    std::string error;
    const Image screen = Screenshot(&error);
    ASSERT_FALSE(screen.Empty()) << error;
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const struct {
        POINT at;
        bool uncovered;
    } probes[] = {
        {{kPictureWidth - 2, 20}, false},  // inside the picture's right edge
        {{kPictureWidth, 20}, true},       // just right of it
        {{320, 100}, true},
        {{100, kPictureHeight}, true},     // just below it
        {{100, 195}, true},
    };
    for (const auto& probe : probes) {
        const COLORREF pixel = screen.At(client.left + probe.at.x, client.top + probe.at.y);
        EXPECT_EQ(ColourNear(pixel, face, kTolerance), probe.uncovered)
            << "client pixel (" << probe.at.x << ", " << probe.at.y << ") is " << std::hex << pixel;
    }
}

// At log-on the user may already be typing into another program: the window appears, fades in and
// stays topmost without taking the keyboard from it.
TEST(MainWindowFocus, AnotherProgramKeepsTheFocus) {
    HWND typing = CreateWindowExW(0, L"EDIT", L"typing", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                                  300, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(typing, nullptr);
    struct Destroy {
        HWND window;
        ~Destroy() { DestroyWindow(window); }
    } destroy{typing};
    SetForegroundWindow(typing);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == typing; }, kStepTimeoutMs));

    Target target(TargetExe());
    ASSERT_TRUE(target.Started()) << target.StartError();
    HWND window = target.WaitForWindow(L"Vossel", kStartTimeoutMs);
    ASSERT_NE(window, nullptr) << target.Describe();
    ASSERT_TRUE(target.WaitForPrefix("Vossel: opacity = 250", kStepTimeoutMs)) << target.Describe();
    ASSERT_TRUE(Settle(window));
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    EXPECT_EQ(GetForegroundWindow(), typing) << "the main window took the focus";
    EXPECT_NE(ExStyle(window) & WS_EX_TOPMOST, 0);
    EXPECT_TRUE(IsWindowVisible(window));
}

}  // namespace
}  // namespace vossel::e2e
