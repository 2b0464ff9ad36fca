#include "diagnose/diagnose_run.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "diagnose/diagnose_report.h"
#include "platform/clocks.h"
#include "platform/session.h"
#include "platform/system_log.h"
#include "start/start_of_shell.h"
#include "start/start_record.h"
#include "version_numbers.h"

namespace vossel {
namespace {

constexpr std::wstring_view kArchitecture = sizeof(void*) == 8 ? L"x64" : L"x86";
constexpr int kCopyButtonId = 101;
constexpr int kTextId = 102;

std::wstring SystemMessage(std::uint32_t code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
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

DiagnoseReadings ReadEverything() {
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

// The window: the report in a read-only edit control, which screen readers read and the keyboard
// scrolls, and a button that copies it.
struct ReportWindow {
    std::wstring text;
    HWND edit = nullptr;
    HWND button = nullptr;
    HFONT font = nullptr;
};

LRESULT CALLBACK ReportWindowProc(HWND window, UINT message, WPARAM wparam,
                                  LPARAM lparam) noexcept {
    auto* state = reinterpret_cast<ReportWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_NCCREATE:
            ::SetWindowLongPtrW(window, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(
                                    reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
            break;
        case WM_SIZE:
            if (state && state->edit) {
                const int width = LOWORD(lparam), height = HIWORD(lparam);
                ::MoveWindow(state->button, 8, height - 36, 120, 28, TRUE);
                ::MoveWindow(state->edit, 8, 8, width - 16, height - 52, TRUE);
            }
            return 0;
        case WM_SETFOCUS:
            if (state && state->edit) ::SetFocus(state->edit);
            return 0;
        case WM_COMMAND:
            if (state && LOWORD(wparam) == kCopyButtonId && ::OpenClipboard(window)) {
                ::EmptyClipboard();
                const size_t bytes = (state->text.size() + 1) * sizeof(wchar_t);
                if (HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes)) {
                    if (void* data = ::GlobalLock(memory)) {
                        std::memcpy(data, state->text.c_str(), bytes);
                        ::GlobalUnlock(memory);
                        if (!::SetClipboardData(CF_UNICODETEXT, memory)) ::GlobalFree(memory);
                    } else {
                        ::GlobalFree(memory);
                    }
                }
                ::CloseClipboard();
                return 0;
            }
            break;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            break;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
}

int ShowReportWindow(std::wstring text) {
    ReportWindow state;
    state.text = std::move(text);
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &ReportWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"VosselDiagnose";
    ::RegisterClassExW(&windowClass);
    HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"Vossel diagnostics",
                                    WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 760, 560,
                                    nullptr, nullptr, instance, &state);
    if (!window) return 4;
    state.font = static_cast<HFONT>(::GetStockObject(ANSI_FIXED_FONT));
    state.edit = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", state.text.c_str(),
                                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL |
                                       ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                                   0, 0, 0, 0, window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextId)), instance,
                                   nullptr);
    state.button = ::CreateWindowExW(
        0, L"BUTTON", L"&Copy", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0,
        window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCopyButtonId)), instance, nullptr);
    ::SendMessageW(state.edit, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), FALSE);
    ::SendMessageW(state.button, WM_SETFONT,
                   reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    RECT client{};
    ::GetClientRect(window, &client);
    ::SendMessageW(window, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
    ::ShowWindow(window, SW_SHOWNORMAL);
    ::SetFocus(state.edit);
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (::IsDialogMessageW(window, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}

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
    return ShowReportWindow(report);
}

}  // namespace vossel
