#include "mainwindow/main_window.h"

#include <windows.h>

#include <optional>
#include <string>

#include "platform/debug_output.h"
#include "platform/ui/accessible_window.h"
#include "platform/executable.h"
#include "platform/ui/fonts.h"
#include "platform/texts.h"
#include "platform/number_text.h"
#include "platform/system_api.h"
#include "resource_ids.h"
#include "settings/settings_window.h"
#include "start/start_of_shell.h"
#include "startup/watch_plan.h"

namespace vossel {
namespace {

constexpr UINT_PTR kFadeTimerId = 1;
constexpr UINT_PTR kLifeTimerId = 2;
constexpr UINT_PTR kRecordTimerId = 3;
// The reader thread's answer; lparam owns a SignInEvidence.
constexpr UINT kEarlierLogonsMessage = WM_APP + 1;
// The start-up watch has written what it saw.
constexpr UINT kWatchDoneMessage = WM_APP + 2;
#ifdef VOSSEL_FAULT_LONG_LIFE  // test-only build: room for the soak test's thousands of steps
constexpr int kLifeMs = 600000;
#else
constexpr int kLifeMs = 15000;
#endif

// A machine-wide change the user approved is seen through: the timed end waits for it, looking
// again every so often, but for no more than this.
constexpr int kEndHoldPollMs = 250;
constexpr std::uint64_t kEndHoldLimitMs = 60000;

constexpr int kButtonFace = COLOR_BTNFACE;   // 15
constexpr int kButtonText = COLOR_BTNTEXT;   // 18
constexpr int kHighlight = COLOR_HIGHLIGHT;  // 13

constexpr int kCharsetAnsi = ANSI_CHARSET;         // 0
constexpr int kCharsetGb2312 = GB2312_CHARSET;     // 134
constexpr int kCharsetBig5 = CHINESEBIG5_CHARSET;  // 136

// The duration label's left edge and the unit's: the number stays left of the unit.
constexpr int kDurationLeftTwips = 1920;
constexpr int kUnitLeftTwips = 3480;
constexpr int kGapBeforeUnitTwips = 30;

// The faces and the link's box of each language. Simplified Chinese is the design itself;
// Traditional Chinese takes Microsoft's Traditional UI face where the design names Microsoft
// YaHei; English takes Segoe UI, and a box as wide as "Settings" needs, ending where the design's
// does.
struct LanguageDesign {
    platform::FontSpec prompt;
    platform::FontSpec link;
    platform::FontSpec unit;
    platform::TwipRect linkBox;
};

LanguageDesign DesignFor(platform::UiLanguage language) {
    switch (language) {
        case platform::UiLanguage::SimplifiedChinese:
            break;
        case platform::UiLanguage::TraditionalChinese:
            return {{L"Microsoft JhengHei UI", 1050, FW_NORMAL, kCharsetBig5, {}},
                    {L"宋体", 900, FW_NORMAL, kCharsetGb2312, {}},
                    {L"Microsoft JhengHei UI", 1050, FW_NORMAL, kCharsetAnsi, {}},
                    {3480, 2040, 375, 255}};
        case platform::UiLanguage::English:
            return {{L"Segoe UI", 1050, FW_NORMAL, kCharsetAnsi, {}},
                    {L"Segoe UI", 900, FW_NORMAL, kCharsetAnsi, {}},
                    {L"Segoe UI", 1050, FW_NORMAL, kCharsetAnsi, {}},
                    {2955, 2040, 900, 255}};
    }
    return {{L"微软雅黑", 1050, FW_NORMAL, kCharsetGb2312, {}},
            {L"宋体", 900, FW_NORMAL, kCharsetGb2312, {}},
            {L"微软雅黑", 1050, FW_NORMAL, kCharsetAnsi, {}},
            {3480, 2040, 375, 255}};
}

const wchar_t kSegmentFace[] = L"DS-Digital";
// The seven-segment face shipped inside the exe for machines without the one above.
const wchar_t kEmbeddedSegmentFace[] = L"DSEG7 Classic";

const LanguageDesign& DisplayDesign() {
    static const LanguageDesign design = DesignFor(platform::DisplayLanguage());
    return design;
}

platform::FontSpec DurationFont(platform::UniqueMemoryFont& embedded) {
    platform::FontSpec font{kSegmentFace, 2625, FW_BOLD, kCharsetAnsi, {}};
    // A long start (a feature update's first, an old disk) is drawn smaller rather than under
    // the unit, with the gap before it that the widest three-digit number leaves.
    font.captionRoomTwips = kUnitLeftTwips - kDurationLeftTwips - kGapBeforeUnitTwips;
    if (platform::IsFontFamilyInstalled(kSegmentFace)) return font;
    embedded = platform::RegisterEmbeddedFont(IDR_SEGMENT_FONT);
    if (embedded) {
        font.face = kEmbeddedSegmentFace;
        // Its digits are wider than the design's face: keep typical values inside the box.
        font.fitSample = L"123.456";
    }
    return font;
}

struct EarlierLogonsRequest {
    HWND window;
    std::uint64_t startUtc;
};

DWORD WINAPI ReadEarlierLogonsThread(LPVOID parameter) {
    const std::unique_ptr<EarlierLogonsRequest> request(
        static_cast<EarlierLogonsRequest*>(parameter));
    auto evidence = std::make_unique<SignInEvidence>(ReadEarlierLogons(request->startUtc));
    // A window gone meanwhile takes nothing: the evidence goes with this thread.
    if (::PostMessageW(request->window, kEarlierLogonsMessage, 0,
                       reinterpret_cast<LPARAM>(evidence.get()))) {
        evidence.release();
    }
    return 0;
}

}  // namespace

MainWindow::MainWindow(EndProgramFunction endProgram)
    : endProgram_(endProgram),
      promptLabel_({240, 960, 1515, 300}, platform::Text(IDS_MAIN_PROMPT), kButtonText,
                   DisplayDesign().prompt),
      durationLabel_({kDurationLeftTwips, 840, 1695, 735}, L"", kHighlight,
                     DurationFont(segmentFont_)),
      settingsLink_(DisplayDesign().linkBox, platform::Text(IDS_MAIN_SETTINGS_LINK), kHighlight,
                    DisplayDesign().link),
      secondsLabel_({kUnitLeftTwips, 960, 255, 255}, platform::Text(IDS_MAIN_UNIT), kButtonText,
                    DisplayDesign().unit),
      fadeTimer_(kFadeTimerId, 0, true),
      lifeTimer_(kLifeTimerId, kLifeMs, true),
      startRecorder_(kRecordTimerId),
      window_({L"VosselForm1",
               L"Vossel",
               IDI_VOSSEL,
               kButtonFace,
               IDB_MAIN_PICTURE,
               {16395, 8325, 4005, 2445}}) {
    // Stacking order, bottom first.
    window_.Add(promptLabel_);
    window_.Add(durationLabel_);
    window_.Add(settingsLink_);
    window_.Add(secondsLabel_);
    window_.Add(fadeTimer_);
    window_.Add(lifeTimer_);
    window_.Add(startRecorder_.Timer());

    window_.Load = [this] { OnLoad(); };
    window_.Paint = [this] { OnPaint(); };
    window_.CloseRequest = [this](bool& cancel) { OnCloseRequest(cancel); };
    window_.SessionEnd = [this] {
        startRecorder_.OnEnd();
        // What the watching has seen so far is written before Windows ends the process, which it
        // may do as soon as this message is answered.
        watch_.EndNow();
        endProgram_(L"session-end");
    };
    startRecorder_.Recorded = [this](const StartMeasurement& measurement) {
        FILETIME now{};
        platform::api::GetSystemTimeAsFileTime(&now);
        const auto plan =
            PlanWatch(measurement, (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime);
        if (plan) watch_.Start(*plan, window_.Handle(), kWatchDoneMessage);
    };
    settingsLink_.Click = [this] { OnSettingsLinkClick(); };
    // The keyboard's way to the settings, which leaves the window's look as it is.
    window_.AddSystemMenuItem(platform::Text(IDS_MENU_SETTINGS), [this] { OnSettingsLinkClick(); });
    window_.AddSystemMenuItem(platform::Text(IDS_MENU_HISTORY),
                              [] { platform::StartThisExe(L"/history"); });
    durationLabel_.SetEmptyName(L"--");
    // Read out when the window appears: the whole sentence, not four fragments.
    window_.Description = [this] {
        return promptLabel_.AccessibleName() + L" " + durationLabel_.AccessibleName() + L" " +
               secondsLabel_.AccessibleName();
    };
    fadeTimer_.Tick = [this] { OnFadeTick(); };
    lifeTimer_.Tick = [this] { OnLifeTimerTick(); };
    window_.Message = [this](UINT message, WPARAM, LPARAM lparam) -> std::optional<LRESULT> {
        if (message == kWatchDoneMessage) {
            if (windowGone_) endProgram_(L"watched");
            return 0;
        }
        if (message != kEarlierLogonsMessage) return std::nullopt;
        OnEarlierLogons(std::unique_ptr<SignInEvidence>(reinterpret_cast<SignInEvidence*>(lparam)));
        return 0;
    };
}

MainWindow::~MainWindow() = default;

// At log-on the user is already typing (a Start-menu search, a password): the window appears
// without taking the keyboard.
void MainWindow::Show() { window_.Show(platform::Window::Activation::kLeaveFocus); }

void MainWindow::MakeLayered() {
    HWND handle = window_.Handle();
    exStyle_ = platform::api::GetWindowLongA(handle, GWL_EXSTYLE);
    exStyle_ = exStyle_ | WS_EX_LAYERED;
    platform::api::SetWindowLongA(handle, GWL_EXSTYLE, exStyle_);
}

void MainWindow::OnLoad() {
    fade_.Load();
    fadeTimer_.SetInterval(fade_.timerIntervalMs);
    fadeTimer_.SetEnabled(fade_.timerEnabled);
    MakeLayered();
    platform::api::SetLayeredWindowAttributes(window_.Handle(), 0, 0, LWA_ALPHA);
    platform::Report(L"opacity = 0");
    platform::api::SetWindowPos(window_.Handle(), HWND_TOPMOST, 0, 0, 0, 0,
                                SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    platform::Report(L"topmost");
}

void MainWindow::OnPaint() {
    if (earlierState_ == EarlierLogonsState::NotAsked && !shown_) ReadOtherSessions(earlierLogons_);
    StartReadings readings = ReadStartOfShell(earlierLogons_);
    KeepFirstLock(firstLocked_, readings);
    StartMeasurement next = DecideStart(readings);
    if (!shown_ || ReplacesShown(*shown_, next)) shown_ = std::move(next);
    const StartMeasurement& measurement = *shown_;
    const bool measured = measurement.kind != StartKind::NotMeasured;
    if (!measured && measurement.reason != notMeasuredReason_) {
        platform::Report(L"not measured " + std::wstring(measurement.reason));
    }
    notMeasuredReason_ = measurement.reason;

    std::wstring caption = StartCaption(measurement, platform::UserDecimalSeparator());
#ifdef VOSSEL_FAULT_SHOWN_VALUE
    // Test-only build: VOSSEL_TEST_CAPTION is drawn instead of the measured number.
    wchar_t shown[64] = {};
    const DWORD shownLength = ::GetEnvironmentVariableW(L"VOSSEL_TEST_CAPTION", shown, 64);
    if (shownLength > 0 && shownLength < 64) caption = shown;
#endif
    const std::wstring line = L"Label2 = \"" + caption + L"\"";
    if (durationLabel_.SetCaption(std::move(caption))) {
        platform::Report(line);
        // The window takes no focus, so nothing else would make a screen reader speak.
        if (!announced_) {
            announced_ = true;
            platform::Report(L"announce " +
                             platform::Announce(window_.Handle(), window_.Description()));
        }
    }
    ReportSignIn(measurement);
    if (measured && !startReported_) {
        platform::Report(measurement.kind == StartKind::Resume ? L"start = resume"
                                                               : L"start = full boot");
        startReported_ = true;
    }
    // Whether an earlier log-on of this start exists is read once the start is known, and the
    // record waits for the answer: it says which log-on this was.
    if (earlierState_ == EarlierLogonsState::NotAsked && measurement.startUtc != 0) {
        ReadEarlierLogons(measurement.startUtc);
    }
    startRecorder_.OnCaption(measurement, earlierState_ != EarlierLogonsState::Reading);
}

void MainWindow::ReportSignIn(const StartMeasurement& measurement) {
    if (measurement.startUtc == 0) return;
    std::wstring line = L"log-on = ";
    switch (measurement.logon) {
        case LogonKind::First:
            line += L"first log-on";
            break;
        case LogonKind::Later:
            line += L"later log-on (" + std::wstring(measurement.logonEvidence) + L")";
            break;
        case LogonKind::Remote:
            line += L"remote session";
            break;
    }
    if (measurement.logon == LogonKind::First && measurement.kind != StartKind::NotMeasured) {
        if (measurement.waitIncluded.empty()) {
            line += L", sign-in wait excluded (" +
                    platform::NumberText(measurement.signInWaitMs.value_or(0)) + L" ms)";
        } else {
            line += L", sign-in wait included (" + std::wstring(measurement.waitIncluded) + L")";
        }
    }
    if (signInLine_ != line) {
        platform::Report(line);
        signInLine_ = std::move(line);
    }
}

void MainWindow::ReadEarlierLogons(std::uint64_t startUtc) {
    auto request =
        std::make_unique<EarlierLogonsRequest>(EarlierLogonsRequest{window_.Handle(), startUtc});
    HANDLE thread = ::CreateThread(nullptr, 0, &ReadEarlierLogonsThread, request.get(), 0, nullptr);
    if (!thread) {
        // Nothing can be read: no evidence, as where every source is unreadable.
        earlierState_ = EarlierLogonsState::Read;
        return;
    }
    request.release();  // the thread's now
    ::CloseHandle(thread);
    earlierState_ = EarlierLogonsState::Reading;
}

void MainWindow::OnEarlierLogons(std::unique_ptr<SignInEvidence> evidence) {
    earlierLogons_.winlogonEvents = std::move(evidence->winlogonEvents);
    earlierLogons_.firstLogonRecords = std::move(evidence->firstLogonRecords);
    earlierLogons_.clockChanges = std::move(evidence->clockChanges);
    earlierState_ = EarlierLogonsState::Read;
    // The next paint decides again with the evidence, and lets the record go.
    ::InvalidateRect(window_.Handle(), nullptr, FALSE);
}

void MainWindow::OnCloseRequest(bool& cancel) {
    // Closed again once the window has gone and the watching goes on: someone (a setup program
    // replacing the exe, a user's script) wants the program to end, and it ends with what the
    // watching has seen so far, as at a log-off.
    if (windowGone_) {
        watch_.EndNow();
        endProgram_(L"closed");
        return;
    }
    cancel = fade_.CloseRequest();
    fadeTimer_.SetEnabled(fade_.timerEnabled);
}

void MainWindow::OnSettingsLinkClick() {
    if (!settings_) settings_ = std::make_unique<SettingsWindow>();
    settings_->Show();
}

void MainWindow::OnFadeTick() {
    const FadeOutcome outcome = fade_.Tick();
    switch (outcome.action) {
        case FadeAction::EndProgram:
            End(L"fade-out");
            return;
        case FadeAction::ApplyLevel:
            MakeLayered();
            platform::api::SetLayeredWindowAttributes(window_.Handle(), 0, outcome.level,
                                                      LWA_ALPHA);
            platform::Report(L"opacity = " + platform::NumberText(outcome.level));
            return;
        case FadeAction::StopTimer:
            fadeTimer_.SetEnabled(false);
            return;
        case FadeAction::Nothing:
            return;
    }
}

void MainWindow::OnLifeTimerTick() {
    if (settings_ && settings_->ChangePending()) {
        const std::uint64_t now = platform::api::GetTickCount64();
        if (!endHeldSinceMs_) {
            endHeldSinceMs_ = now;
            lifeTimer_.SetInterval(kEndHoldPollMs);
            platform::Report(L"timed end held");
        }
        if (now - *endHeldSinceMs_ < kEndHoldLimitMs) return;
    }
    End(L"timer");
}

void MainWindow::End(std::wstring_view reason) {
    startRecorder_.OnEnd();
    if (!watch_.Running()) endProgram_(reason);
    // Hidden, not destroyed: a hidden top-level window is still told of the session's end (a
    // message-only window is not), and the watching then writes what it has.
    fadeTimer_.SetEnabled(false);
    lifeTimer_.SetEnabled(false);
    settings_.reset();
    ::ShowWindow(window_.Handle(), SW_HIDE);
    windowGone_ = true;
    platform::Report(L"window gone " + std::wstring(reason));
}

}  // namespace vossel
