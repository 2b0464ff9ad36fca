#include "diagnose/diagnose_run.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <optional>
#include <string>

#include "diagnose/diagnose_report.h"
#include "platform/clocks.h"
#include "platform/event_log_query.h"
#include "platform/late_bound.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/window.h"
#include "resource_ids.h"
#include "platform/session.h"
#include "platform/system_log.h"
#include "start/start_of_shell.h"
#include "start/start_record.h"
#include "version_numbers.h"

namespace vossel {

#ifdef VOSSEL_FAULT_DIAGNOSE_READINGS
DiagnoseReadings StandInReadings();  // diagnose_stand_ins.cpp
#endif

namespace {

constexpr std::wstring_view kArchitecture = sizeof(void*) == 8 ? L"x64" : L"x86";
constexpr int kCopyButtonId = 101;
constexpr int kTextId = 102;

// In English where the system has its English texts, as the rest of the report; else in the
// user's language.
std::wstring SystemMessage(std::uint32_t code) {
    wchar_t* buffer = nullptr;
    DWORD length = 0;
    for (const DWORD language : {DWORD{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)}, DWORD{0}}) {
        length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, language, reinterpret_cast<wchar_t*>(&buffer), 0,
                                  nullptr);
        if (length && buffer) break;
    }
    std::wstring text = length && buffer ? std::wstring(buffer, length) : std::wstring();
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text;
}

void Failed(DiagnoseReadings& readings, std::wstring source, std::uint32_t code) {
    readings.failures.push_back({std::move(source), code, SystemMessage(code)});
}

std::optional<int> LocalOffsetMinutes(std::uint64_t utc) {
    FILETIME time{static_cast<DWORD>(utc), static_cast<DWORD>(utc >> 32)};
    SYSTEMTIME universal{}, local{};
    if (!::FileTimeToSystemTime(&time, &universal) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        return std::nullopt;
    }
    FILETIME localTime{};
    if (!::SystemTimeToFileTime(&local, &localTime)) return std::nullopt;
    const std::int64_t shifted = static_cast<std::int64_t>(
        (std::uint64_t{localTime.dwHighDateTime} << 32) | localTime.dwLowDateTime);
    // Whole minutes: SystemTimeToFileTime keeps the milliseconds, so the difference is exact.
    return static_cast<int>((shifted - static_cast<std::int64_t>(utc)) / 600'000'000);
}

// Windows' event 100 of the last few boots; the refusal (ERROR_ACCESS_DENIED for those who are
// not administrators) or another failure kept with its reason.
BootDiagnostics ReadBootDiagnostics() {
    constexpr int kMostEvents = 8;
    BootDiagnostics boot;
    const auto data = [](const wchar_t* name) {
        return L"Event/EventData/Data[@Name='" + std::wstring(name) + L"']";
    };
    const auto milliseconds = [](const platform::EventField& field) {
        return field.present && field.text.empty()
                   ? std::optional<std::int64_t>(static_cast<std::int64_t>(field.number))
                   : std::nullopt;
    };
    const std::uint32_t error = platform::QueryEventFieldsNewestFirst(
        L"Microsoft-Windows-Diagnostics-Performance/Operational", L"*[System[EventID=100]]",
        {data(L"BootStartTime"), data(L"BootTime"), data(L"MainPathBootTime"),
         data(L"BootPostBootTime"), data(L"UserLogonWaitDuration")},
        [&](const platform::EventRecordFields& record) {
            if (record.eventId == 100 && record.fields.size() == 5) {
                const auto& f = record.fields;
                boot.events.push_back({record.systemTime, f[0].text.empty() ? f[0].number : 0,
                                       milliseconds(f[1]), milliseconds(f[2]), milliseconds(f[3]),
                                       milliseconds(f[4])});
            }
            return static_cast<int>(boot.events.size()) < kMostEvents;
        });
    boot.read = error == 0;
    if (error != 0) {
        boot.events.clear();
        boot.failure = {L"Diagnostics-Performance event 100", error, SystemMessage(error)};
    }
    return boot;
}

DiagnoseReadings ReadEverything() {
#ifdef VOSSEL_FAULT_DIAGNOSE_READINGS
    DiagnoseReadings standIn = StandInReadings();
    standIn.version = VOSSEL_VERSION_FULL;
    standIn.architecture = kArchitecture;
    return standIn;
#endif

    DiagnoseReadings readings;
    readings.version = VOSSEL_VERSION_FULL;
    readings.architecture = kArchitecture;
    SignInEvidence earlier;
    ReadOtherSessions(earlier);
    readings.start = ReadStartOfShell(earlier);
    readings.decision = DecideStart(readings.start);
    if (readings.decision.startUtc != 0) {
        // What the window's reading thread adds, then the decision once more, as the window takes
        // it.
        SignInEvidence logons = ReadEarlierLogons(readings.decision.startUtc);
        logons.otherSessionLogons = earlier.otherSessionLogons;
        readings.start = ReadStartOfShell(logons);
        readings.decision = DecideStart(readings.start);
        // The readers keep only what they read; ask again for the reasons of those that failed.
        std::vector<platform::ClockChangeEvent> changes;
        if (!logons.clockChanges) {
            Failed(readings, L"System log: clock changes (Kernel-General 1)",
                   platform::ReadClockChanges(readings.decision.startUtc, 1, changes));
        }
        std::vector<platform::WinlogonEvent> events;
        if (!logons.winlogonEvents) {
            Failed(readings, L"System log: Winlogon 7001/7002",
                   platform::ReadWinlogonEvents(readings.decision.startUtc, 1, events));
        }
        if (!logons.firstLogonRecords) {
            readings.failures.push_back({L"Application log: Vossel's records", 0, L"not readable"});
        }
    }
    // The run stops reading where it has no shell; the report reads on, for the report alone.
    if (!readings.start.clocks) {
        const platform::ClockReading clocks = platform::ReadClocks();
        readings.start.clocks = StartClocks{clocks.systemTime, clocks.interruptTime,
                                            clocks.tickCountMs, clocks.unbiasedInterruptTime};
    }
    if (!readings.start.selfCreatedUtc) readings.start.selfCreatedUtc = platform::OwnCreationTime();
    if (const auto glass = platform::ReadGlassSessionId(); glass.error != 0) {
        Failed(readings, L"registry: GlassSessionId", glass.error);
    } else {
        readings.start.glassSessionId = glass.id;
    }
    if (const auto own = platform::ReadOwnSessionId(); own.error != 0) {
        Failed(readings, L"ProcessIdToSessionId", own.error);
    } else {
        readings.start.ownSessionId = own.id;
    }
    if (!readings.start.evidence.session && readings.start.shellCreatedUtc) {
        readings.failures.push_back(
            {L"session manager (WTSQuerySessionInformation)", 0,
             L"answered neither WTSSessionInfoEx nor WTSSessionInfo; no reason given"});
    }
    if (!earlier.otherSessionLogons) {
        readings.failures.push_back({L"session manager (WTSEnumerateSessions)", 0,
                                     L"the other sessions could not be read; no reason given"});
    }
    readings.bootDiagnostics = ReadBootDiagnostics();
    if (!readings.bootDiagnostics.read) {
        readings.failures.push_back(readings.bootDiagnostics.failure);
    }
    if (readings.start.clocks && !readings.start.clocks->interruptTime) {
        readings.failures.push_back(
            {L"QueryInterruptTime", ERROR_PROC_NOT_FOUND, SystemMessage(ERROR_PROC_NOT_FOUND)});
    }
    return readings;
}

bool WriteToHandle(HANDLE output, const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                              size, nullptr, nullptr);
    }
    DWORD written = 0;
    return ::WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// Bound late, as the list view's: an import of the common controls would load them, and the
// theme library they bring, into every start of the program, before WinMain restricts where
// DLLs come from.
platform::LateBound<decltype(&::SetWindowSubclass)> setWindowSubclass{L"comctl32.dll",
                                                                      "SetWindowSubclass"};
platform::LateBound<decltype(&::DefSubclassProc)> defSubclassProc{L"comctl32.dll",
                                                                  "DefSubclassProc"};
platform::LateBound<decltype(&::RemoveWindowSubclass)> removeWindowSubclass{L"comctl32.dll",
                                                                            "RemoveWindowSubclass"};

// The report in a read-only edit control, which screen readers read and the keyboard scrolls.
// An edit control that takes many lines asks for every key, Tab and Esc too; this one leaves
// them to the dialog keys, so that Tab reaches the button and Esc closes the window.
class ReportText : public platform::Control {
  public:
    explicit ReportText(int id)
        : Control(id, {}, L"",
                  WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                      ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                  L"EDIT", WS_EX_CLIENTEDGE) {}

  private:
    void OnCreated() override {
        // All three bound here, where a failure can still be reported: the window procedure
        // below may not throw.
        defSubclassProc.Get();
        removeWindowSubclass.Get();
        setWindowSubclass(Handle(), &KeepDialogKeys, 0, 0);
    }
    static LRESULT CALLBACK KeepDialogKeys(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                           UINT_PTR, DWORD_PTR) noexcept {
        const auto defaultProcedure = defSubclassProc.Get();
        if (message == WM_GETDLGCODE) {
            return defaultProcedure(window, message, wparam, lparam) &
                   ~(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE);
        }
        if (message == WM_NCDESTROY) removeWindowSubclass.Get()(window, &KeepDialogKeys, 0);
        return defaultProcedure(window, message, wparam, lparam);
    }
};

// The window: the text above, "Copy" below it, everything scaled to the window's DPI.
class ReportWindow {
  public:
    explicit ReportWindow(std::wstring text)
        : text_(std::move(text)),
          report_(kTextId),
          copy_(kCopyButtonId, {}, L"&Copy"),
          window_({L"VosselDiagnose",
                   L"Vossel diagnostics",
                   IDI_VOSSEL,
                   COLOR_BTNFACE,
                   0,
                   {2400, 1800, 11400, 8400},
                   true}) {
        window_.Add(report_);
        window_.Add(copy_);
        copy_.Click = [this] { platform::CopyTextToClipboard(window_.Handle(), text_); };
        window_.Load = [this] {
            ::SetWindowTextW(report_.Handle(), text_.c_str());
            Layout();
        };
        window_.Message = [this](UINT message, WPARAM, LPARAM lparam) -> std::optional<LRESULT> {
            switch (message) {
                case WM_SIZE:
                    Layout();
                    return 0;
                case WM_GETMINMAXINFO:
                    reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = {Scaled(320),
                                                                             Scaled(200)};
                    return 0;
                default:
                    return std::nullopt;
            }
        };
        window_.Unloaded = [] { ::PostQuitMessage(0); };
    }

    int Run() {
        window_.Show();
        if (!window_.IsLoaded()) return 4;
        ::SetFocus(report_.Handle());
        // The caret at the top, not at the end of a selection of everything.
        ::SendMessageW(report_.Handle(), EM_SETSEL, 0, 0);
        return platform::RunMessageLoop();
    }

  private:
    int Scaled(int pixelsAt96) const { return ::MulDiv(pixelsAt96, window_.Dpi(), 96); }

    void Layout() {
        HWND window = window_.Handle();
        if (!window || !report_.Handle()) return;
        RECT client{};
        ::GetClientRect(window, &client);
        const int margin = Scaled(8);
        int lineHeight = Scaled(16);
        int captionWidth = Scaled(40);
        if (HDC dc = ::GetDC(window)) {
            const auto font =
                reinterpret_cast<HFONT>(::SendMessageW(copy_.Handle(), WM_GETFONT, 0, 0));
            const HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
            TEXTMETRICW metrics{};
            if (::GetTextMetricsW(dc, &metrics)) lineHeight = metrics.tmHeight;
            SIZE caption{};
            if (::GetTextExtentPoint32W(dc, L"Copy", 4, &caption)) captionWidth = caption.cx;
            if (old) ::SelectObject(dc, old);
            ::ReleaseDC(window, dc);
        }
        const int buttonHeight = lineHeight + Scaled(10);
        const int buttonWidth = std::max(captionWidth + Scaled(32), Scaled(88));
        const int buttonTop = std::max<int>(client.bottom - margin - buttonHeight, margin);
        ::SetWindowPos(copy_.Handle(), nullptr, margin, buttonTop, buttonWidth, buttonHeight,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        ::SetWindowPos(report_.Handle(), nullptr, margin, margin,
                       std::max<int>(client.right - 2 * margin, 0),
                       std::max<int>(buttonTop - 2 * margin, 0), SWP_NOZORDER | SWP_NOACTIVATE);
    }

    std::wstring text_;
    ReportText report_;
    platform::PushButton copy_;
    platform::Window window_;
};

}  // namespace

bool IsDiagnoseCommand(const std::vector<std::wstring>& arguments) {
    return arguments.size() == 1 &&
           ::CompareStringOrdinal(arguments[0].c_str(), static_cast<int>(arguments[0].size()),
                                  L"/diagnose", -1, TRUE) == CSTR_EQUAL;
}

int RunDiagnose() {
    const std::wstring report = ComposeDiagnoseReport(ReadEverything(), &LocalOffsetMinutes);
    // cmd and PowerShell hand a redirected output to a GUI program as its standard output handle.
    HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const DWORD type =
        output && output != INVALID_HANDLE_VALUE ? ::GetFileType(output) : FILE_TYPE_UNKNOWN;
    if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE)
        return WriteToHandle(output, report) ? 0 : 4;
    return ReportWindow(report).Run();
}

}  // namespace vossel
