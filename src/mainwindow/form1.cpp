#include "mainwindow/form1.h"

#include <windows.h>

#include <string>

#include "mainwindow/boot_duration.h"
#include "platform/debug_output.h"
#include "platform/executable.h"
#include "platform/fonts.h"
#include "platform/processes.h"
#include "platform/system_api.h"
#include "resource_ids.h"
#include "settings/form2.h"

namespace vossel {
namespace {

constexpr UINT_PTR kTimer1Id = 1;
constexpr UINT_PTR kTimer2Id = 2;
constexpr int kTimer2IntervalMs = 15000;

constexpr int kButtonFace = COLOR_BTNFACE;   // 15
constexpr int kButtonText = COLOR_BTNTEXT;   // 18
constexpr int kHighlight = COLOR_HIGHLIGHT;  // 13

constexpr int kCharsetAnsi = ANSI_CHARSET;      // 0
constexpr int kCharsetGb2312 = GB2312_CHARSET;  // 134

const wchar_t kSegmentFace[] = L"DS-Digital";
// The seven-segment face shipped inside the exe for machines without the one above.
const wchar_t kEmbeddedSegmentFace[] = L"DSEG7 Classic";

platform::FontSpec Label2Font(platform::UniqueMemoryFont& embedded) {
    platform::FontSpec font{kSegmentFace, 2625, FW_BOLD, kCharsetAnsi, {}};
    if (platform::IsFontFamilyInstalled(kSegmentFace)) return font;
    embedded = platform::RegisterEmbeddedFont(IDR_SEGMENT_FONT);
    if (embedded) {
        font.face = kEmbeddedSegmentFace;
        // Its digits are wider than the design's face: keep typical values inside the box.
        font.fitSample = L"123.456";
    }
    return font;
}

UtcDateTime ToUtc(const SYSTEMTIME& t) {
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

}  // namespace

std::uint32_t FindShellProcessId() {
    ShellProcessMatcher matcher;
    platform::ForEachProcess(
        [&matcher](std::uint32_t id, std::string_view name) { matcher.Examine(id, name); });
    return matcher.ProcessId();
}

std::wstring MeasureBootDurationText() {
    platform::ProcessClockReading clocks;
    if (!platform::ReadProcessClocks(FindShellProcessId(), clocks)) return {};
    return BootDurationText(clocks.tickCount, ToUtc(clocks.now), ToUtc(clocks.created),
                            platform::UserDecimalSeparator());
}

Form1::Form1(EndProgramFunction endProgram)
    : endProgram_(endProgram),
      window_({L"VosselForm1",
               L"Vossel",
               IDI_VOSSEL,
               kButtonFace,
               IDB_MAIN_PICTURE,
               {16395, 8325, 4005, 2445}}),
      Label1({240, 960, 1515, 300}, L"您本次开机共用:", kButtonText,
             {L"微软雅黑", 1050, FW_NORMAL, kCharsetGb2312, {}}),
      Label2({1920, 840, 1695, 735}, L"", kHighlight, Label2Font(segmentFont_)),
      Label3({3480, 2040, 375, 255}, L"设置", kHighlight,
             {L"宋体", 900, FW_NORMAL, kCharsetGb2312, {}}),
      Label4({3480, 960, 255, 255}, L"秒", kButtonText,
             {L"微软雅黑", 1050, FW_NORMAL, kCharsetAnsi, {}}),
      Timer1(kTimer1Id, 0, true),
      Timer2(kTimer2Id, kTimer2IntervalMs, true) {
    // Stacking order, bottom first.
    window_.Add(Label1);
    window_.Add(Label2);
    window_.Add(Label3);
    window_.Add(Label4);
    window_.Add(Timer1);
    window_.Add(Timer2);

    window_.Load = [this] { Form_Load(); };
    window_.Paint = [this] { Form_Paint(); };
    window_.Unload = [this](std::int16_t& cancel) { Form_Unload(cancel); };
    window_.SessionEnd = [this] { endProgram_(L"session-end"); };
    Label3.Click = [this] { Label3_Click(); };
    Timer1.Tick = [this] { Timer1_Timer(); };
    Timer2.Tick = [this] { Timer2_Timer(); };
}

Form1::~Form1() = default;

void Form1::Show() { window_.Show(); }

void Form1::MakeLayered() {
    HWND handle = window_.Handle();
    ExStyle = platform::api::GetWindowLongA(handle, GWL_EXSTYLE);
    ExStyle = ExStyle | WS_EX_LAYERED;
    platform::api::SetWindowLongA(handle, GWL_EXSTYLE, ExStyle);
}

void Form1::Form_Load() {
    fade_.Load();
    Timer1.SetInterval(fade_.Timer1Interval);
    Timer1.SetEnabled(fade_.Timer1Enabled);
    MakeLayered();
    platform::api::SetLayeredWindowAttributes(window_.Handle(), 0, 0, LWA_ALPHA);
    platform::Report(L"opacity = 0");
    platform::api::SetWindowPos(window_.Handle(), HWND_TOPMOST, 0, 0, 0, 0,
                                SWP_NOSIZE | SWP_NOMOVE);
    platform::Report(L"topmost");
}

void Form1::Form_Paint() {
    std::wstring caption = MeasureBootDurationText();
    if (caption.empty()) return;
    const std::wstring line = L"Label2 = \"" + caption + L"\"";
    if (Label2.SetCaption(std::move(caption))) platform::Report(line);
}

void Form1::Form_Unload(std::int16_t& Cancel) {
    Cancel = fade_.CloseRequest() ? -1 : 0;
    Timer1.SetEnabled(fade_.Timer1Enabled);
}

void Form1::Label3_Click() {
    if (!form2_) form2_ = std::make_unique<Form2>();
    form2_->Show();
}

void Form1::Timer1_Timer() {
    const FadeOutcome outcome = fade_.Tick();
    switch (outcome.action) {
        case FadeAction::EndProgram:
            endProgram_(L"fade-out");
            return;
        case FadeAction::ApplyLevel:
            MakeLayered();
            platform::api::SetLayeredWindowAttributes(window_.Handle(), 0, outcome.level,
                                                      LWA_ALPHA);
            platform::Report(L"opacity = " + std::to_wstring(outcome.level));
            return;
        case FadeAction::StopTimer:
            Timer1.SetEnabled(false);
            return;
        case FadeAction::Nothing:
            return;
    }
}

void Form1::Timer2_Timer() { endProgram_(L"timer"); }

}  // namespace vossel
