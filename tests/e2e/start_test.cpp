// Which start the program measured, seen from outside. Wine's sessions never sleep, so the resume
// path and the "--" caption are reached through the test-only build that takes its clocks as after
// a resume from VOSSEL_TEST_CLOCKS.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace vossel::e2e {
namespace {

constexpr DWORD kStartTimeoutMs = 240000;  // a 32-bit start runs its Wine under emulation
constexpr DWORD kStepTimeoutMs = 10000;
constexpr wchar_t kClocksVariable[] = L"VOSSEL_TEST_CLOCKS";
constexpr std::uint64_t kTicksPerMs = 10'000;
// The duration label's box in client pixels at 96 dpi.
constexpr RECT kDurationBox{128, 56, 241, 105};

std::wstring ClocksVariant() {
    const std::wstring& exe = TargetExe();
    return exe.substr(0, exe.find_last_of(L"\\/")) + L"\\fault-clocks\\Vossel.exe";
}

// Set for the programs this test starts, which inherit it; removed however the test ends.
struct ClocksOverride : EnvironmentOverride {
    explicit ClocksOverride(const std::wstring& value) : EnvironmentOverride(kClocksVariable, value) {}
};

// The one explorer.exe of this prefix, which Wine starts as its desktop.
std::optional<DWORD> ShellProcessId() {
    const std::vector<DWORD> ids = ProcessIdsNamed(L"explorer.exe");
    return ids.size() == 1 ? std::optional<DWORD>(ids[0]) : std::nullopt;
}

// The shell's creation on the interrupt clock (100 ns units), which under Wine is the tick count.
std::optional<std::uint64_t> ShellCreationOnInterruptClock() {
    const auto shell = ShellProcessId();
    if (!shell) return std::nullopt;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, *shell);
    if (!process) return std::nullopt;
    FILETIME created{}, exited{}, kernel{}, user{}, now{};
    const BOOL got = GetProcessTimes(process, &created, &exited, &kernel, &user);
    CloseHandle(process);
    if (!got) return std::nullopt;
    GetSystemTimeAsFileTime(&now);
    const std::uint64_t interrupt = GetTickCount64() * kTicksPerMs;
    auto value = [](const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
    return interrupt - (value(now) - value(created));
}

size_t CountLines(const Target& target, std::string_view prefix) {
    const auto lines = target.Lines();
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [prefix](const DebugLine& line) {
        return line.text.rfind(prefix, 0) == 0;
    }));
}

struct Started {
    std::unique_ptr<Target> target;
    HWND window = nullptr;
};

void Start(const std::wstring& exe, Started& started) {
    ASSERT_NE(GetDesktopWindow(), nullptr);
    ASSERT_NE(GetFileAttributesW(exe.c_str()), INVALID_FILE_ATTRIBUTES) << Utf8(exe) << " was not built";
    // A window of the launch before may linger a moment after its process was killed; it would stand
    // topmost in the very same place.
    for (int i = 0; i < 100 && FindWindowW(nullptr, L"Vossel"); ++i) Pause(100);
    ASSERT_EQ(FindWindowW(nullptr, L"Vossel"), nullptr) << "a window of an earlier launch is still there";
    started.target = std::make_unique<Target>(exe);
    ASSERT_TRUE(started.target->Started()) << started.target->StartError();
    started.window = started.target->WaitForWindow(L"Vossel", kStartTimeoutMs);
    ASSERT_NE(started.window, nullptr) << "no window titled \"Vossel\" appeared";
}

// The first caption that is a number, in seconds.
std::optional<double> CaptionSeconds(const Target& target) {
    const std::regex number(R"re(^Vossel: Label2 = "(\d+(?:\.\d{1,3})?)"$)re");
    const auto caption = target.WaitForLine(number, kStepTimeoutMs);
    std::smatch match;
    if (!caption || !std::regex_match(caption->text, match, number)) return std::nullopt;
    return std::atof(match[1].str().c_str());
}

// Half the uptime has been "suspended", far beyond any tolerance and never more than there was.
std::uint64_t SuspendedTicks() { return GetTickCount64() / 2 * kTicksPerMs; }

TEST(Start, AfterAResumeTheDurationRunsFromTheLastWake) {
    ASSERT_NE(GetDesktopWindow(), nullptr);
    const auto shellAt = ShellCreationOnInterruptClock();
    ASSERT_TRUE(shellAt.has_value()) << "no single explorer.exe whose creation time could be read";
    // Woken 5.25 s before the shell was created, after hours the kernel-start formula would count.
    constexpr std::uint64_t kWakeToShell = 5'250 * kTicksPerMs;
    ASSERT_GT(*shellAt, kWakeToShell);
    // Half the time before the wake was suspended, as one sleep that the wake ended.
    const std::uint64_t wake = *shellAt - kWakeToShell;
    ClocksOverride clocks(L"suspended=" + std::to_wstring(wake / 2) + L";sleep=" +
                          std::to_wstring(wake - wake / 2) + L";wake=" + std::to_wstring(wake));
    Started started;
    ASSERT_NO_FATAL_FAILURE(Start(ClocksVariant(), started));
    const Target& target = *started.target;
    const auto seconds = CaptionSeconds(target);
    ASSERT_TRUE(seconds.has_value()) << target.Describe();
    std::printf("[          ] caption %.3f s for a wake 5.25 s before the shell\n", *seconds);
    EXPECT_NEAR(*seconds, 5.25, 0.1) << "not measured from the wake";
    EXPECT_TRUE(target.WaitForPrefix("Vossel: start = resume", kStepTimeoutMs).has_value()) << target.Describe();
    EXPECT_EQ(CountLines(target, "Vossel: start = "), 1u) << target.Describe();
    EXPECT_EQ(CountLines(target, "Vossel: not measured"), 0u) << target.Describe();
}

TEST(Start, EachRunWritesOneEventRecordThatMatchesItsCaption) {
    const std::string end = TraceEnd();
    if (end.empty()) GTEST_SKIP() << "Wine's standard error is not a file";
    Started started;
    SetEnvironmentVariableW(L"WINEDEBUG", L"-all,+eventlog,fixme+advapi");
    Start(TargetExe(), started);
    SetEnvironmentVariableW(L"WINEDEBUG", L"-all");
    ASSERT_TRUE(started.window);
    Target& target = *started.target;
    const std::regex number(R"re(^Vossel: Label2 = "(\d+)(?:\.(\d{1,3}))?"$)re");
    const auto caption = target.WaitForLine(number, kStepTimeoutMs);
    const auto start = target.WaitForPrefix("Vossel: start = ", kStepTimeoutMs);
    ASSERT_TRUE(caption && start && target.WaitForPrefix("Vossel: event ", kStepTimeoutMs)) << target.Describe();
    for (int i = 0; i < 20 && !target.HasExited(); ++i) ForcePaint(started.window);
    RequestClose(started.window);
    ASSERT_TRUE(target.WaitForExit(kStartTimeoutMs).has_value()) << target.Describe();
    EXPECT_EQ(CountLines(target, "Vossel: event "), 1u) << target.Describe();
    const auto reports = TraceSince(end, "advapi:ReportEventW");
    const auto strings = TraceSince(end, ":eventlog:ReportEventW");
    ASSERT_EQ(reports.size(), 1u) << "one record per run";
    const bool resume = start->text == "Vossel: start = resume";
    EXPECT_NE(reports[0].find(resume ? ",0x000003ea," : ",0x000003e9,"), std::string::npos) << reports[0];
    // Wine tells no session times: the whole span, said to include the wait, and why.
    EXPECT_TRUE(target.WaitForPrefix("Vossel: log-on = first log-on, sign-in wait included (no session times)",
                                     kStepTimeoutMs))
        << target.Describe();
    ASSERT_EQ(strings.size(), 17u);
    const std::pair<size_t, const char*> expected[] = {
        {0, "2"},   {8, "first log-on"}, {9, ""},  {10, ""}, {11, ""}, {12, "included"}, {13, "no session times"},
        {14, ""}, {15, ""},             {16, "0"}};
    for (const auto& [i, value] : expected) {
        EXPECT_NE(strings[i].find("L\"" + std::string(value) + "\""), std::string::npos)
            << "string " << i << ": " << strings[i];
    }
    std::smatch match;
    ASSERT_TRUE(std::regex_match(caption->text, match, number));
    std::string fraction = match[2].str();
    fraction.resize(3, '0');
    const std::string ms = std::to_string(std::stoll(match[1].str()) * 1000 + std::stoll(fraction));
    EXPECT_NE(strings[1].find("L\"" + ms + "\""), std::string::npos) << strings[1] << " for " << caption->text;
}

// The session's times as the session manager would tell them on Windows, in ms after the kernel's
// start: the wait between the sign-in screen and the sign-in is left out of the number; another
// session signed in earlier makes this a later log-on, which shows no number of its own.
TEST(Start, TheSignInWaitIsLeftOutAndALaterLogOnShowsNoNumber) {
    const auto shellAt = ShellCreationOnInterruptClock();
    ASSERT_TRUE(shellAt.has_value()) << "no single explorer.exe whose creation time could be read";
    const double whole = static_cast<double>(*shellAt) / 1e7;
    ASSERT_GT(whole, 30.0);
    {
        EnvironmentOverride session(L"VOSSEL_TEST_SESSION", L"connect=10000;logon=25000");
        Started started;
        ASSERT_NO_FATAL_FAILURE(Start(ClocksVariant(), started));
        const Target& target = *started.target;
        const auto seconds = CaptionSeconds(target);
        ASSERT_TRUE(seconds.has_value()) << target.Describe();
        EXPECT_NEAR(*seconds, whole - 15.0, 0.5) << "the 15 s wait is not left out";
        EXPECT_TRUE(target.WaitForPrefix("Vossel: log-on = first log-on, sign-in wait excluded (15000 ms)",
                                         kStepTimeoutMs))
            << target.Describe();
    }
    EnvironmentOverride session(L"VOSSEL_TEST_SESSION", L"connect=10000;logon=25000;other=15000");
    Started started;
    ASSERT_NO_FATAL_FAILURE(Start(ClocksVariant(), started));
    const Target& target = *started.target;
    EXPECT_TRUE(target.WaitForPrefix("Vossel: Label2 = \"--\"", kStepTimeoutMs)) << target.Describe();
    EXPECT_TRUE(target.WaitForPrefix("Vossel: not measured later log-on", kStepTimeoutMs)) << target.Describe();
    EXPECT_TRUE(target.WaitForPrefix("Vossel: log-on = later log-on (other session)", kStepTimeoutMs))
        << target.Describe();
    EXPECT_EQ(CountLines(target, "Vossel: start = "), 0u) << target.Describe();
}

TEST(Start, WithoutAWakeTimeTheLabelShowsTwoDashesAndSaysWhyOnce) {
    // Only the suspension is made up: LastWakeTime is asked of Wine, which does not implement it.
    ClocksOverride clocks(L"suspended=" + std::to_wstring(SuspendedTicks()));
    Started started;
    ASSERT_NO_FATAL_FAILURE(Start(ClocksVariant(), started));
    Target& target = *started.target;
    ASSERT_TRUE(target.WaitForPrefix("Vossel: Label2 = \"--\"", kStepTimeoutMs).has_value()) << target.Describe();
    EXPECT_TRUE(target.WaitForPrefix("Vossel: not measured no wake time", kStepTimeoutMs).has_value())
        << target.Describe();
    ASSERT_TRUE(target.WaitForPrefix("Vossel: opacity = 250", kStepTimeoutMs).has_value()) << "the fade-in did not rest";
    for (int i = 0; i < 10 && !target.HasExited(); ++i) ForcePaint(started.window);
    ASSERT_FALSE(target.HasExited()) << target.Describe();
    ASSERT_TRUE(Settle(started.window)) << "the last paint did not finish";
    EXPECT_EQ(CountLines(target, "Vossel: not measured"), 1u) << "said more than once per change:\n" << target.Describe();
    EXPECT_EQ(CountLines(target, "Vossel: Label2 = "), 1u) << target.Describe();
    EXPECT_EQ(CountLines(target, "Vossel: start = "), 0u) << target.Describe();

    // The dashes sit in the duration label's box, in its colour, as one low band across the middle
    // of the box: a dash, not digits and not an empty label.
    std::string error;
    const Image screen = Screenshot(&error);
    SaveScreenshotPng(L"not-measured");
    ASSERT_FALSE(screen.Empty()) << error;
    const RECT client = ClientRectOnScreen(started.window);
    const RECT box{client.left + kDurationBox.left, client.top + kDurationBox.top, client.left + kDurationBox.right,
                   client.top + kDurationBox.bottom};
    const COLORREF ink = GetSysColor(COLOR_HIGHLIGHT);
    int inked = 0;
    LONG top = box.bottom, bottom = box.top, left = box.right, right = box.left;
    for (LONG y = box.top; y < box.bottom; ++y) {
        for (LONG x = box.left; x < box.right; ++x) {
            if (!ColourNear(screen.At(x, y), ink, 40)) continue;
            ++inked;
            top = std::min(top, y);
            bottom = std::max(bottom, y);
            left = std::min(left, x);
            right = std::max(right, x);
        }
    }
    std::printf("[          ] %d pixels of the label's colour, rows %ld..%ld, columns %ld..%ld of the box\n", inked,
                top - box.top, bottom - box.top, left - box.left, right - box.left);
    EXPECT_GE(inked, 16) << "no dashes in the duration label";
    EXPECT_LE(bottom - top, (box.bottom - box.top) / 4) << "taller than a dash";
    EXPECT_GE(right - left, 20) << "narrower than two dashes";
}

// The variable is read only by the test-only build: the shipped exe does not even hold its name.
TEST(Start, OnlyTheTestBuildReadsItsClocksFromTheEnvironment) {
    const std::string name = Utf8(kClocksVariable);
    std::string wide;
    for (char c : name) wide += std::string{c, '\0'};
    auto holds = [&wide](const std::wstring& exe) {
        const auto bytes = ReadFileBytes(exe);
        return !bytes.empty() &&
               std::search(bytes.begin(), bytes.end(), wide.begin(), wide.end()) != bytes.end();
    };
    ASSERT_FALSE(ReadFileBytes(ClocksVariant()).empty()) << Utf8(ClocksVariant()) << " was not built";
    ASSERT_TRUE(holds(ClocksVariant())) << "the search does not find the name where it is";
    EXPECT_FALSE(holds(TargetExe())) << Utf8(TargetExe()) << " reads its clocks from the environment";
}

}  // namespace
}  // namespace vossel::e2e
