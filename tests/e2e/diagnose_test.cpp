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

// The test build's stand-in readings: every source answers, so every field has its value (only
// the sleep and wake, which a full boot does not ask, is not read), and Windows' event 100 of this
// boot stands beside Vossel's phases.
TEST(Diagnose, ShowsEveryFieldWithStandInReadings) {
    const Redirected run =
        RunRedirected(Directory(TargetExe()) + L"\\fault-diagnose-readings\\Vossel.exe");
    ASSERT_TRUE(run.ended) << "it did not end by itself";
    EXPECT_EQ(run.exitCode, 0u);
    const auto count = [&](const std::regex& pattern) {
        return std::distance(std::sregex_iterator(run.report.begin(), run.report.end(), pattern),
                             std::sregex_iterator());
    };
    EXPECT_EQ(count(std::regex(": not (read|known|taken|compared)")), 1) << run.report;
    EXPECT_EQ(count(std::regex(": 20\\d\\d-\\d\\d-\\d\\dT")), 14) << run.report;  // the instants
    for (const char* expected : {"policy LegalNoticeText: \"Authorised\" | \"use only\"",
                                 "record: 25000 ms, start 2025-", "the number: 25000 ms",
                                 "start to the shell (MainPathBootTime): Windows 31000 ms, Vossel "
                                 "30000 ms, difference -1000 ms"}) {
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
        ASSERT_TRUE(text && copy);
        EXPECT_TRUE(GetWindowLongW(text, GWL_STYLE) & ES_READONLY);
        RECT button{};
        GetWindowRect(copy, &button);
        if (dpi == 96) buttonHeightAt96 = button.bottom - button.top;
        EXPECT_NEAR(button.bottom - button.top, buttonHeightAt96 * static_cast<int>(dpi) / 96, 3);
        Sleep(1500);  // for people to look at: the window paints a moment after it appears
        SaveScreenshotPng(L"diagnose-window-" + std::to_wstring(dpi));

        // "Copy" puts the whole text on the clipboard.
        const auto length = static_cast<size_t>(SendMessageW(text, WM_GETTEXTLENGTH, 0, 0));
        SendMessageW(copy, BM_CLICK, 0, 0);
        std::wstring copied;
        if (OpenClipboard(nullptr)) {
            HANDLE data = GetClipboardData(CF_UNICODETEXT);
            if (const auto* chars = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr) {
                copied = chars;
                GlobalUnlock(data);
            }
            CloseClipboard();
        }
        EXPECT_TRUE(copied.size() == length && copied.rfind(L"Vossel diagnostics", 0) == 0);

        // Tab leaves the text for the button; Esc closes the window.
        PostMessageW(text, WM_KEYDOWN, VK_TAB, 0);
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(window) == copy; }, kStepTimeoutMs));
        PostMessageW(copy, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_EQ(target->WaitForExit(kStepTimeoutMs).value_or(1), 0u) << target->Describe();
        EXPECT_EQ(CountLines(*target, std::regex("record|Label2")), 0u) << AllLines(*target);
    }
}

}  // namespace
}  // namespace vossel::e2e
