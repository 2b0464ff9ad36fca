// The fade-in, the fade-out after a close request, the topmost placement and the end after 15 s,
// judged from outside: the opacity read back from the window, its styles, the debug lines, the
// exit code and time, and the CPU time that the process uses at rest.
//
// Under emulation every start of the 32-bit exe is slow, so one untouched launch serves the
// fade-in, the rest and the end by the timer; each close request needs a launch of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>

#include "harness.h"

namespace vossel::e2e {
namespace {

constexpr DWORD kFadeTimeoutMs = 60000;    // 50 ticks of nominally 5 ms, stretched by a slow timer
constexpr double kRestingCpuMeasureSeconds = 5.0;
// Wine reports another process's CPU time in whole 10 ms clock ticks, and a process that
// barely runs is still charged one now and then.
constexpr double kIdleCpuLimitMs = 50.0;
constexpr double kBusyCpuMinimumMs = 100.0;
constexpr int kRestLevel = 250;
constexpr int kStep = 5;
const std::regex kOpacityLine(R"(^Vossel: opacity = (\d+)$)");

// One reading of the window's opacity, kept only when something changed.
struct Sample {
    double seconds = 0;
    bool visible = false;
    bool layered = false;
    int alpha = 0;
};

// The process's main window, shown or not: it is layered and transparent before it is shown,
// and the first reading should come from then.
HWND WaitForMainWindow(const Target& target, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    do {
        if (HWND window = MainWindowOf(target)) return window;
        if (target.HasExited()) return nullptr;
        Sleep(1);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

class OpacityTrace {
  public:
    void Take(HWND window, double seconds) {
        const Opacity opacity = LayeredAttributes(window);
        Sample now{seconds, IsWindowVisible(window) != FALSE, opacity.layered, opacity.alpha};
        if (samples.empty() || samples.back().visible != now.visible ||
            samples.back().layered != now.layered || samples.back().alpha != now.alpha) {
            samples.push_back(now);
        }
    }

    // Reads the window as often as the machine allows until `done` says so or time runs out.
    void Follow(HWND window, const Target& target, DWORD timeoutMs, DWORD pollMs,
                const std::function<bool()>& done) {
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        while (GetTickCount64() < deadline && !target.HasExited() && !done()) {
            Take(window, target.Elapsed());
            Sleep(pollMs);
        }
    }

    // The layered readings from `from` on, starting with the one in effect at that moment.
    std::vector<Sample> Layered(double from = 0) const {
        std::vector<Sample> result;
        for (const Sample& s : samples) {
            if (!s.layered) continue;
            if (s.seconds < from) result.clear();
            result.push_back(s);
        }
        return result;
    }

    std::vector<Sample> samples;
};

std::string Describe(const std::vector<Sample>& samples) {
    std::ostringstream out;
    for (const Sample& s : samples) {
        out << s.alpha << (s.visible ? "" : "(hidden)") << (s.layered ? "" : "(not layered)")
            << ' ';
    }
    return out.str();
}

std::string Describe(const std::vector<int>& levels) {
    std::ostringstream out;
    for (int level : levels) out << level << ' ';
    return out.str();
}

// Every change between successive readings must go the given way by whole steps of 5.
void ExpectWholeSteps(const std::vector<Sample>& samples, int direction, const char* what) {
    for (size_t i = 1; i < samples.size(); ++i) {
        const int change = (samples[i].alpha - samples[i - 1].alpha) * direction;
        if (change == 0) continue;
        EXPECT_TRUE(change > 0 && change % kStep == 0)
            << what << ": the read-back opacity went from " << samples[i - 1].alpha << " to "
            << samples[i].alpha << "; all readings: " << Describe(samples);
    }
}

std::vector<int> OpacityLevels(const std::vector<DebugLine>& lines, size_t from = 0,
                               size_t to = SIZE_MAX) {
    std::vector<int> levels;
    for (size_t i = from; i < std::min(to, lines.size()); ++i) {
        std::smatch match;
        if (std::regex_match(lines[i].text, match, kOpacityLine))
            levels.push_back(std::stoi(match[1]));
    }
    return levels;
}

std::optional<DebugLine> FirstLine(const std::vector<DebugLine>& lines, std::string_view text) {
    for (const DebugLine& line : lines) {
        if (line.text == text) return line;
    }
    return std::nullopt;
}

// from, from + step, ..., to (inclusive), for either sign of step.
std::vector<int> Levels(int from, int to, int step) {
    std::vector<int> levels;
    for (int level = from; step > 0 ? level <= to : level >= to; level += step)
        levels.push_back(level);
    return levels;
}

std::vector<int> FadeInLevels() {
    std::vector<int> levels{0};
    const std::vector<int> rising = Levels(10, kRestLevel, kStep);
    levels.insert(levels.end(), rising.begin(), rising.end());
    return levels;
}

// User plus kernel time of another process, read through the narrowest right that allows it.
std::optional<double> CpuMilliseconds(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) return std::nullopt;
    FILETIME created{}, exited{}, kernel{}, user{};
    const BOOL ok = GetProcessTimes(process, &created, &exited, &kernel, &user);
    CloseHandle(process);
    if (!ok) return std::nullopt;
    auto ticks = [](FILETIME t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;  // 100 ns units
}

// The CPU time that a command interpreter spinning in a counting loop is charged for in about
// 1.5 s: proves that the measurement of another process can see work at all.
std::optional<double> BusyProcessCpuMilliseconds(std::string* error) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
    std::wstring commandLine = L"\"" + cmd + L"\" /c for /L %i in (1,1,100000000) do @rem";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(cmd.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &info)) {
        *error = "could not start " + Utf8(cmd) + ", error " + std::to_string(GetLastError());
        return std::nullopt;
    }
    CloseHandle(info.hThread);
    Pause(1500);
    const std::optional<double> used = CpuMilliseconds(info.dwProcessId);
    if (WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0)
        *error = "the busy loop ended early";
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, 10000);
    CloseHandle(info.hProcess);
    if (!used && error->empty()) *error = "GetProcessTimes failed on the busy process";
    return used;
}

std::string Bits() {
    DWORD type = 0;
    return GetBinaryTypeW(TargetExe().c_str(), &type) && type == SCS_32BIT_BINARY ? "32-bit"
                                                                                  : "64-bit";
}

// ---- one launch left alone from start to end ----

class FadeUntouched : public testing::Test {
  protected:
    struct Observed {
        std::unique_ptr<Target> target;
        HWND window = nullptr;
        OpacityTrace trace;
        bool rested = false;
        LONG_PTR exStyle = 0;
        std::optional<double> cpuBefore;
        std::optional<double> cpuAfter;
        double cpuWallSeconds = 0;
        bool exitedDuringCpuMeasure = false;
        std::optional<DWORD> exitCode;
        std::vector<DebugLine> lines;
    };
    static Observed* seen;

    static void SetUpTestSuite() {
        seen = new Observed;
        seen->target = std::make_unique<Target>(TargetExe());
        Target& target = *seen->target;
        if (!target.Started()) return;
        seen->window = WaitForMainWindow(target, kStartTimeoutMs);
        if (!seen->window) return;

        const std::regex rest("^Vossel: opacity = 250$");
        double restedAt = -1;
        seen->trace.Follow(seen->window, target, kFadeTimeoutMs, 1, [&] {
            if (restedAt < 0 && target.WaitForLine(rest, 0)) restedAt = target.Elapsed();
            // A second at rest shows that the level stays put.
            return restedAt >= 0 && target.Elapsed() > restedAt + 1.0;
        });
        seen->rested = restedAt >= 0;
        seen->exStyle = ExStyle(seen->window);

        if (seen->rested && !target.HasExited()) {
            // Nothing of ours may touch the process while it is measured.
            seen->cpuBefore = CpuMilliseconds(target.ProcessId());
            const double start = target.Elapsed();
            Pause(static_cast<DWORD>(kRestingCpuMeasureSeconds * 1000));
            seen->cpuAfter = CpuMilliseconds(target.ProcessId());
            seen->cpuWallSeconds = target.Elapsed() - start;
            seen->exitedDuringCpuMeasure = target.HasExited();
        }

        // Keep watching the opacity until the program ends by itself.
        seen->trace.Follow(seen->window, target, 60000, 20, [] { return false; });
        seen->exitCode = target.WaitForExit(5000);
        seen->lines = target.Lines();
    }

    static void TearDownTestSuite() {
        delete seen;
        seen = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(seen->target->Started()) << seen->target->StartError();
        ASSERT_NE(seen->window, nullptr) << "no VosselForm1 window appeared";
    }
};

FadeUntouched::Observed* FadeUntouched::seen = nullptr;

TEST_F(FadeUntouched, FadesInFromTransparentInStepsOfFiveAndRestsAt250) {
    ASSERT_TRUE(seen->rested) << "no \"opacity = 250\" line; levels reported: "
                              << Describe(OpacityLevels(seen->lines));
    const std::vector<Sample> layered = seen->trace.Layered();
    ASSERT_FALSE(layered.empty()) << "the window was never layered: "
                                  << Describe(seen->trace.samples);

    // Never on screen without its opacity: shown only once it was layered.
    for (const Sample& s : seen->trace.samples) {
        if (!s.visible) continue;
        EXPECT_TRUE(s.layered) << "the window was visible before it was layered, at " << s.seconds
                               << " s";
        break;
    }
    EXPECT_EQ(layered.front().alpha, 0) << "first read-back level; all: " << Describe(layered);

    // The fade-in: the readings up to a second after it came to rest.
    const auto rest = FirstLine(seen->lines, "Vossel: opacity = 250");
    std::vector<Sample> fadeIn;
    for (const Sample& s : layered) {
        if (s.seconds <= rest->seconds + 1.0) fadeIn.push_back(s);
    }
    ExpectWholeSteps(fadeIn, +1, "fade-in");
    EXPECT_EQ(fadeIn.back().alpha, kRestLevel)
        << "read-back after a second at rest; all: " << Describe(fadeIn);
    for (const Sample& s : layered) EXPECT_NE(s.alpha, 255) << "opaque at " << s.seconds << " s";

    // The reported levels, up to the end by the timer: the fade-in and nothing else.
    EXPECT_EQ(OpacityLevels(seen->lines), FadeInLevels());

    const auto loaded = FirstLine(seen->lines, "Vossel: opacity = 0");
    std::printf(
        "[          ] %s: %zu distinct read-back levels in the fade-in, which took %.3f s\n",
        Bits().c_str(), fadeIn.size(), loaded ? rest->seconds - loaded->seconds : -1.0);
}

TEST_F(FadeUntouched, IsLayeredAndTopmost) {
    EXPECT_TRUE(seen->exStyle & WS_EX_LAYERED) << std::hex << seen->exStyle;
    EXPECT_TRUE(seen->exStyle & WS_EX_TOPMOST) << std::hex << seen->exStyle;
    // Placed in the topmost band once, at load: before the first tick of the fade-in.
    std::vector<std::string> texts;
    for (const DebugLine& line : seen->lines) texts.push_back(line.text);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Vossel: topmost"), 1);
    const auto topmost = std::find(texts.begin(), texts.end(), "Vossel: topmost");
    const auto firstTick = std::find(texts.begin(), texts.end(), "Vossel: opacity = 10");
    EXPECT_LT(topmost, firstTick) << "no \"Vossel: topmost\" line before the fade-in";
}

// Wine charges a cheap timer tick almost nothing (a timer left re-applying the opacity every tick
// measured about 10 ms in 5 s), so this catches busy work at rest, not a timer left running.
TEST_F(FadeUntouched, UsesNoCpuAtRest) {
    ASSERT_TRUE(seen->rested) << "the fade-in never came to rest";
    ASSERT_FALSE(seen->exitedDuringCpuMeasure) << "the program ended during the measurement";
    ASSERT_TRUE(seen->cpuBefore && seen->cpuAfter) << "GetProcessTimes failed on the program";

    std::string error;
    const std::optional<double> busy = BusyProcessCpuMilliseconds(&error);
    ASSERT_TRUE(busy.has_value()) << error;
    EXPECT_GE(*busy, kBusyCpuMinimumMs)
        << "a spinning process was charged almost nothing in 1.5 s: "
           "this way of measuring cannot see work";

    const double used = *seen->cpuAfter - *seen->cpuBefore;
    std::printf(
        "[          ] %s: CPU at rest %.1f ms in %.2f s (a spinning process: %.0f ms in 1.5 s)\n",
        Bits().c_str(), used, seen->cpuWallSeconds, *busy);
    EXPECT_GE(seen->cpuWallSeconds, kRestingCpuMeasureSeconds - 0.1);
    EXPECT_LE(used, kIdleCpuLimitMs) << "the program keeps working at rest";
}

TEST_F(FadeUntouched, EndsByItselfAfter15SecondsWithoutAFade) {
    ASSERT_TRUE(seen->exitCode.has_value())
        << "still running " << seen->target->Elapsed() << " s after start";
    EXPECT_EQ(*seen->exitCode, 0u);
    ASSERT_FALSE(seen->lines.empty());
    EXPECT_EQ(seen->lines.back().text, "Vossel: end timer");

    const auto loaded = FirstLine(seen->lines, "Vossel: opacity = 0");
    ASSERT_TRUE(loaded.has_value());
    const double afterLoad = seen->target->ExitSeconds() - loaded->seconds;
    std::printf("[          ] %s: ended %.2f s after load, %.2f s after the process was created\n",
                Bits().c_str(), afterLoad, seen->target->ExitSeconds());
    EXPECT_GE(afterLoad, kLifeSeconds - 0.5);
    EXPECT_LE(afterLoad, kLifeSeconds + 10.0);

    // No fade-out: the levels only rose (the full sequence is checked above), and the window
    // read back at rest until the process was gone.
    const std::vector<Sample> layered = seen->trace.Layered();
    ASSERT_FALSE(layered.empty());
    EXPECT_EQ(layered.back().alpha, kRestLevel) << Describe(layered);
    ExpectWholeSteps(layered, +1, "whole run");
}

// ---- close requests ----

struct FadeOutRun {
    std::unique_ptr<Target> target;
    OpacityTrace trace;
    size_t linesBeforeClose = 0;
    double closedAt = 0;
    std::optional<DWORD> exitCode;
    std::vector<DebugLine> lines;
};

// Launches the program, waits for `closeWhen` and then `settleMs`, sends `close`, then a second
// close request once the fade-out has gone on a while, and follows the window until the process
// ends.
void RunAndClose(FadeOutRun& run, const std::regex& closeWhen, DWORD settleMs,
                 void (*close)(HWND)) {
    run.target = std::make_unique<Target>(TargetExe());
    Target& target = *run.target;
    ASSERT_TRUE(target.Started()) << target.StartError();
    const HWND window = WaitForMainWindow(target, kStartTimeoutMs);
    ASSERT_NE(window, nullptr) << "no VosselForm1 window appeared";

    bool due = false;
    run.trace.Follow(window, target, kFadeTimeoutMs, 1, [&] {
        due = target.WaitForLine(closeWhen, 0).has_value();
        return due;
    });
    ASSERT_TRUE(due) << "never saw the moment to close; levels: "
                     << Describe(OpacityLevels(target.Lines()));
    const ULONGLONG settled = GetTickCount64() + settleMs;
    run.trace.Follow(window, target, settleMs, 1, [&] { return GetTickCount64() >= settled; });
    run.linesBeforeClose = target.Lines().size();
    run.closedAt = target.Elapsed();
    close(window);

    // A repeated request in the middle of the fade-out must neither restart nor speed it up.
    const std::regex falling("^Vossel: opacity = (4[05]|[1-3][05])$");
    bool repeated = false;
    run.trace.Follow(window, target, kFadeTimeoutMs, 1, [&] {
        if (!repeated && target.WaitForLine(falling, 0, run.linesBeforeClose)) {
            close(window);
            repeated = true;
        }
        return false;
    });
    run.exitCode = target.WaitForExit(10000);
    run.lines = target.Lines();
}

void ExpectFadeOutEnd(const FadeOutRun& run) {
    ASSERT_TRUE(run.exitCode.has_value()) << "still running after the fade-out";
    EXPECT_EQ(*run.exitCode, 0u);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back().text, "Vossel: end fade-out");
    EXPECT_LT(run.target->ExitSeconds(), run.closedAt + kLifeSeconds)
        << "the fade-out did not end the program before the timer would have";
    std::printf("[          ] %s: ended %.3f s after the close request\n", Bits().c_str(),
                run.target->ExitSeconds() - run.closedAt);
}

void CloseAtRest(void (*close)(HWND)) {
    FadeOutRun run;
    // Past the tick after 250, which stops the timer and applies nothing: a request before it
    // would be one during the fade-in.
    RunAndClose(run, std::regex("^Vossel: opacity = 250$"), 500, close);
    if (testing::Test::HasFatalFailure()) return;
    ExpectFadeOutEnd(run);

    EXPECT_EQ(OpacityLevels(run.lines, 0, run.linesBeforeClose), FadeInLevels())
        << "before the close request";
    // 250 again (the level already shown), then down to 5; never 0, and no restart.
    EXPECT_EQ(OpacityLevels(run.lines, run.linesBeforeClose), Levels(kRestLevel, kStep, -kStep));

    const std::vector<Sample> after = run.trace.Layered(run.closedAt);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.front().alpha, kRestLevel) << Describe(after);
    ExpectWholeSteps(after, -1, "fade-out");
    for (const Sample& s : after) EXPECT_GE(s.alpha, kStep) << Describe(after);
}

TEST(FadeOut, CloseAtRestFadesOutFrom250AndExits) { CloseAtRest(&RequestClose); }

TEST(FadeOut, SystemMenuCloseAtRestFadesOutFrom250AndExits) { CloseAtRest(&SystemMenuClose); }

TEST(FadeOut, CloseDuringFadeInReversesAtTheCurrentLevel) {
    FadeOutRun run;
    // Early in the fade-in, so the request lands well before it could come to rest.
    RunAndClose(run, std::regex("^Vossel: opacity = 60$"), 0, &RequestClose);
    if (HasFatalFailure()) return;
    ExpectFadeOutEnd(run);

    const std::vector<int> levels = OpacityLevels(run.lines);
    ASSERT_FALSE(levels.empty());
    const auto peak = std::max_element(levels.begin(), levels.end());
    ASSERT_LT(*peak, kRestLevel) << "the request arrived after the fade-in ended: "
                                 << Describe(levels);
    ASSERT_GE(*peak, 60);
    // Up to the level L shown when the request arrived, then L-5 down to 5: no jump, no repeat.
    std::vector<int> expected{0};
    for (int level : Levels(10, *peak, kStep)) expected.push_back(level);
    for (int level : Levels(*peak - kStep, kStep, -kStep)) expected.push_back(level);
    EXPECT_EQ(levels, expected) << "peak " << *peak;
    std::printf("[          ] %s: reversed at %d\n", Bits().c_str(), *peak);

    const std::vector<Sample> layered = run.trace.Layered();
    ASSERT_FALSE(layered.empty());
    const auto top =
        std::max_element(layered.begin(), layered.end(),
                         [](const Sample& a, const Sample& b) { return a.alpha < b.alpha; });
    EXPECT_LE(top->alpha, *peak) << Describe(layered);
    ExpectWholeSteps({layered.begin(), top + 1}, +1, "fade-in");
    ExpectWholeSteps({top, layered.end()}, -1, "fade-out");
}

}  // namespace
}  // namespace vossel::e2e
