// "Vossel.exe /diagnose": the report to a redirected output, ending by itself, or in a window.
#include <gtest/gtest.h>

#include "harness.h"

namespace vossel::e2e {
namespace {

// Redirected to a file, as cmd's ">" hands it: the report, the exit, no window of the run.
TEST(Diagnose, WritesTheReportToARedirectedOutputAndEnds) {
    wchar_t folder[MAX_PATH] = {}, path[MAX_PATH] = {};
    ASSERT_TRUE(GetTempPathW(MAX_PATH, folder));
    ASSERT_TRUE(GetTempFileNameW(folder, L"vsd", 0, path));
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file;
    std::wstring commandLine = L"\"" + TargetExe() + L"\" /DIAGNOSE";
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(TargetExe().c_str(), commandLine.data(), nullptr, nullptr,
                                        TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(file);
    ASSERT_TRUE(started);
    const DWORD waited = WaitForSingleObject(process.hProcess, kStartTimeoutMs);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "it did not end by itself";
    EXPECT_EQ(exitCode, 0u);
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    DeleteFileW(path);
    const std::string report(bytes.begin(), bytes.end());
    for (const char* expected :
         {"Vossel diagnostics", "[clocks]", "system time: 20", " local (UTC", "[decision]",
          "caption: ", "[sources that could not be read]",
          // What Wine cannot give is named, with the reason where the system gave one.
          "session manager (WTSEnumerateSessions)", "registry: GlassSessionId: error 2"}) {
        EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
    }
}

// No redirection: a window with the report, readable and copyable, and no record written.
TEST(Diagnose, ShowsTheReportInAWindowWithoutRedirection) {
    Target target(TargetExe(), {}, L"/diagnose");
    ASSERT_TRUE(target.Started()) << target.StartError();
    HWND window = target.WaitForWindow(L"Vossel diagnostics", kStartTimeoutMs);
    ASSERT_NE(window, nullptr) << target.Describe();
    HWND text = FindWindowExW(window, nullptr, L"EDIT", nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(GetWindowLongW(text, GWL_STYLE) & ES_READONLY);
    wchar_t buffer[64] = {};
    // GetWindowText reads another process's control only by its title; WM_GETTEXT asks the edit.
    SendMessageW(text, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(buffer));
    EXPECT_EQ(std::wstring(buffer).rfind(L"Vossel diagnostics", 0), 0u);
    EXPECT_NE(FindWindowExW(window, nullptr, L"BUTTON", L"&Copy"), nullptr);
    EXPECT_EQ(CountLines(target, std::regex("record|Label2")), 0u) << AllLines(target);
    RequestClose(window);
    EXPECT_EQ(target.WaitForExit(kStepTimeoutMs).value_or(1), 0u) << target.Describe();
}

}  // namespace
}  // namespace vossel::e2e
