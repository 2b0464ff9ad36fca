// "Vossel.exe /diagnose": the report to a redirected output, ending by itself, or in a window.
#include <gtest/gtest.h>

#include "harness.h"

namespace vossel::e2e {
namespace {

struct Redirected {
    bool ended = false;
    DWORD exitCode = 1;
    std::string report;
};

// Runs exe /DIAGNOSE with its output redirected to a file, as cmd's ">" hands it.
Redirected RunRedirected(const std::wstring& exe) {
    Redirected run;
    wchar_t folder[MAX_PATH] = {}, path[MAX_PATH] = {};
    if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"vsd", 0, path)) return run;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return run;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file;
    std::wstring commandLine = L"\"" + exe + L"\" /DIAGNOSE";
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(file);
    if (started) {
        run.ended = WaitForSingleObject(process.hProcess, kStartTimeoutMs) == WAIT_OBJECT_0;
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        if (!run.ended) TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    DeleteFileW(path);
    run.report.assign(bytes.begin(), bytes.end());
    return run;
}

// Redirected to a file: the report, the exit, no window of the run.
TEST(Diagnose, WritesTheReportToARedirectedOutputAndEnds) {
    const Redirected run = RunRedirected(TargetExe());
    ASSERT_TRUE(run.ended) << "it did not end by itself";
    EXPECT_EQ(run.exitCode, 0u);
    for (const char* expected : {"Vossel diagnostics", "[clocks]", "system time: 20", " local (UTC",
                                 "[decision]", "caption: ", "[sources that could not be read]",
                                 // What Wine cannot give is named, with the reason where the system
                                 // gave one, in English in a Chinese prefix too.
                                 "session manager (WTSEnumerateSessions)",
                                 "registry: GlassSessionId: error 2: File not found.",
                                 "Diagnostics-Performance event 100: error "}) {
        EXPECT_NE(run.report.find(expected), std::string::npos) << expected << "\n" << run.report;
    }
}

// The test build's stand-in readings: every source answers, so every field shows its value, and
// Windows' event 100 of this boot stands beside Vossel's phases.
TEST(Diagnose, ShowsEveryFieldWithStandInReadings) {
    const Redirected run =
        RunRedirected(Directory(TargetExe()) + L"\\fault-diagnose-readings\\Vossel.exe");
    ASSERT_TRUE(run.ended) << "it did not end by itself";
    EXPECT_EQ(run.exitCode, 0u);
    for (const char* expected :
         {"interrupt time: 400000000 (100 ns), 40.000 s",
          "unbiased interrupt time: 400000000",
          "this process's session id: 1",
          "GlassSessionId: 1",
          "SM_REMOTESESSION: 0",
          "this session's connect time: 2025-",
          "this session's state: not locked",
          "user SID: S-1-5-21-1-2-3-1001",
          "LSA log-on time of the shell: 2025-",
          "other signed-in sessions: 0",
          "AutoAdminLogon: \"0\"",
          "policy LegalNoticeCaption: \"Notice\"",
          "policy LegalNoticeText: \"Authorised\" | \"use only\"",
          "Winlogon LegalNoticeCaption: empty multi-string",
          "Winlogon LegalNoticeText: not set",
          "clock changes since the start: 1",
          "  change: reason 2, old 2025-",
          "Winlogon 7001/7002 since the start: 1",
          "  7001: 2025-",
          "TSId 1, UserSid S-1-5-21",
          "shell window owner (process id): 4242",
          "parent Explorer's creation: 2025-",
          "plausible first log-on records: 1",
          "  record: 25000 ms, start 2025-",
          "kind: full boot",
          "log-on: first log-on",
          "Windows start: 20000 ms",
          "at the sign-in screen: 5000 ms",
          "signing in: 5000 ms",
          "the number: 25000 ms",
          "events read: 2",
          "BootStartTime: 2025-",
          "BootTime: 70000 ms",
          "MainPathBootTime: 31000 ms",
          "BootPostBootTime: 39000 ms",
          "UserLogonWaitDuration: 4800 ms",
          "start to the shell (MainPathBootTime): Windows 31000 ms, Vossel 30000 ms, "
          "difference -1000 ms",
          "(UserLogonWaitDuration): Windows 4800 ms, Vossel 5000 ms, difference +200 ms",
          "none: every source answered"}) {
        EXPECT_NE(run.report.find(expected), std::string::npos) << expected << "\n" << run.report;
    }
}

// No redirection: a window with the report, scaled to the DPI, reached by the keyboard, copied
// whole, closed by Esc, and no record written.
TEST(Diagnose, ShowsTheReportInAWindowWithoutRedirection) {
    int buttonHeightAt96 = 0;
    for (const DWORD dpi : {96u, 144u}) {
        SCOPED_TRACE(dpi);
        std::unique_ptr<Target> target;
        HWND window = nullptr;
        {
            LogPixelsOverride override(dpi);
            target = std::make_unique<Target>(TargetExe(), std::wstring{}, L"/diagnose");
            ASSERT_TRUE(target->Started()) << target->StartError();
            window = target->WaitForWindow(L"Vossel diagnostics", kStartTimeoutMs);
        }
        ASSERT_NE(window, nullptr) << target->Describe();
        HWND text = FindWindowExW(window, nullptr, L"EDIT", nullptr);
        HWND copy = FindWindowExW(window, nullptr, L"BUTTON", L"&Copy");
        ASSERT_NE(text, nullptr);
        ASSERT_NE(copy, nullptr);
        EXPECT_TRUE(GetWindowLongW(text, GWL_STYLE) & ES_READONLY);
        RECT button{};
        GetWindowRect(copy, &button);
        if (dpi == 96)
            buttonHeightAt96 = button.bottom - button.top;
        else
            EXPECT_NEAR(button.bottom - button.top, buttonHeightAt96 * 3 / 2, 3);
        // For people to look at; the window paints a moment after it appears.
        Sleep(1500);
        SaveScreenshotPng(L"diagnose-window-" + std::to_wstring(dpi));

        // "Copy" puts everything on the clipboard, as the text box holds it.
        const auto length = static_cast<int>(SendMessageW(text, WM_GETTEXTLENGTH, 0, 0));
        SendMessageW(copy, BM_CLICK, 0, 0);
        std::wstring copied;
        if (OpenClipboard(nullptr)) {
            if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
                if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
                    copied = chars;
                    GlobalUnlock(data);
                }
            }
            CloseClipboard();
        }
        EXPECT_EQ(copied.rfind(L"Vossel diagnostics", 0), 0u);
        EXPECT_EQ(static_cast<int>(copied.size()), length);
        EXPECT_NE(copied.find(L"[sources that could not be read]"), std::wstring::npos);

        // Tab leaves the text for the button; Esc closes the window.
        GUITHREADINFO focus{};
        focus.cbSize = sizeof(focus);
        const DWORD thread = GetWindowThreadProcessId(window, nullptr);
        PostMessageW(text, WM_KEYDOWN, VK_TAB, 0);
        for (int i = 0; i < 50 && GetGUIThreadInfo(thread, &focus) && focus.hwndFocus != copy; ++i)
            Sleep(100);
        EXPECT_EQ(focus.hwndFocus, copy);
        PostMessageW(copy, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_EQ(target->WaitForExit(kStepTimeoutMs).value_or(1), 0u) << target->Describe();
        EXPECT_EQ(CountLines(*target, std::regex("record|Label2")), 0u) << AllLines(*target);
    }
}

}  // namespace
}  // namespace vossel::e2e
