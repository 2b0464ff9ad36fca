// The boot duration that the main window shows, judged from outside against the Linux kernel's own record of
// when Wine's shell process started.
#include <gtest/gtest.h>

#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "harness.h"
#include "stress_support.h"

namespace vossel::e2e {
namespace {

constexpr DWORD kLineTimeoutMs = 10000;
constexpr double kTruthToleranceSeconds = 0.1;
// Wine records a process's creation a little after the kernel forked it (tens of milliseconds, a
// tenth of a second on a busy machine), so the caption may trail the kernel's start by that much.
constexpr double kWineCreationLagSeconds = 0.15;
constexpr int kRepaints = 200;
constexpr DWORD kQuietMs = 2000;
constexpr wchar_t kStandInName[] = L"myexplorer.exe";

// Copied under the stand-in's name, this very program is the later "shell": it only waits, and the
// test that started it ends it.
bool RunsAsStandIn() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring_view name(path, length);
    const std::wstring_view suffix(kStandInName);
    return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
}

[[maybe_unused]] const bool standInDone = [] {
    if (RunsAsStandIn()) {
        Sleep(120000);
        ExitProcess(0);
    }
    return true;
}();

const std::regex kCaptionLine(R"(^Vossel: Label2 = "(-?)(\d+)(?:([.,])(\d{1,3}))?"$)");

struct Caption {
    double seconds = 0;
    char separator = 0;  // 0 for a whole number
    double at = 0;       // when the line arrived, seconds since the process was created
};

std::optional<Caption> ParseCaption(const DebugLine& line) {
    std::smatch match;
    if (!std::regex_match(line.text, match, kCaptionLine)) return std::nullopt;
    Caption caption;
    caption.seconds = std::atof(match[2].str().c_str());
    if (match[3].matched) {
        caption.separator = match[3].str()[0];
        caption.seconds += std::atof(("0." + match[4].str()).c_str());
    }
    if (match[1].matched && !match[1].str().empty()) caption.seconds = -caption.seconds;
    caption.at = line.seconds;
    return caption;
}

// Caption lines at index >= from, in order.
std::vector<DebugLine> CaptionLines(const Target& target, size_t from = 0) {
    std::vector<DebugLine> found;
    const auto lines = target.Lines();
    for (size_t i = from; i < lines.size(); ++i) {
        if (lines[i].text.rfind("Vossel: Label2 = ", 0) == 0) found.push_back(lines[i]);
    }
    return found;
}

// A small Unix file whose size the kernel does not report, as /proc's are.
std::optional<std::string> ReadUnixText(const std::string& unixPath) {
    std::wstring path = L"Z:" + Wide(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
    CloseHandle(file);
    return text;
}

std::vector<std::string> NulSeparated(const std::string& text) {
    std::vector<std::string> fields;
    std::istringstream in(text);
    for (std::string field; std::getline(in, field, '\0');) fields.push_back(field);
    return fields;
}

// The clock ticks per second of /proc/<pid>/stat.
std::optional<double> ClockTicksPerSecond() {
    static const std::optional<double> ticks = []() -> std::optional<double> {
        const auto output = RunUnixOutput("getconf CLK_TCK", 30000);
        const double value = output ? std::atof(output->c_str()) : 0.0;
        return value > 0 ? std::optional<double>(value) : std::nullopt;
    }();
    return ticks;
}

// A process of this Wine prefix as the Linux kernel sees it.
struct UnixProcess {
    int pid = 0;
    double startSeconds = 0;  // since boot: /proc/<pid>/stat field 22 over CLK_TCK
    double cpuMilliseconds = 0;
};

// The processes of our own prefix whose Windows image path (Wine's argv[0]) ends in "\<name>".
// Other prefixes on the machine run shells of their own: their WINEPREFIX differs from ours.
std::vector<UnixProcess> UnixProcessesNamed(const std::string& name, std::string* error) {
    std::vector<UnixProcess> found;
    const auto ticks = ClockTicksPerSecond();
    const auto ownEnvironment = ReadUnixText("/proc/self/environ");
    if (!ticks || !ownEnvironment) {
        if (error) *error = "could not read CLK_TCK or /proc/self/environ";
        return found;
    }
    std::string prefix;
    for (const auto& variable : NulSeparated(*ownEnvironment)) {
        if (variable.rfind("WINEPREFIX=", 0) == 0) prefix = variable;
    }
    if (prefix.empty()) {
        if (error) *error = "WINEPREFIX is not set for this process";
        return found;
    }
    const std::string suffix = "\\" + name;
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE) {
        if (error) *error = "could not list /proc";
        return found;
    }
    do {
        const std::string pid = Utf8(entry.cFileName);
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        const auto commandLine = ReadUnixText("/proc/" + pid + "/cmdline");
        if (!commandLine || commandLine->empty()) continue;
        // Wine's own processes carry the image path as argv[0]; 32-bit ones run under qemu, which
        // puts itself and Wine's loader (Unix paths) in front of it.
        const auto arguments = NulSeparated(*commandLine);
        const auto image = std::find_if(arguments.begin(), arguments.end(),
                                        [](const std::string& argument) { return argument.rfind('/', 0) != 0; });
        if (image == arguments.end() || image->size() < suffix.size() ||
            _stricmp(image->c_str() + image->size() - suffix.size(), suffix.c_str()) != 0) {
            continue;
        }
        const auto environment = ReadUnixText("/proc/" + pid + "/environ");
        if (!environment) continue;
        const auto variables = NulSeparated(*environment);
        if (std::find(variables.begin(), variables.end(), prefix) == variables.end()) continue;
        // The command name in field 2 may hold spaces and brackets: count from its last ')'.
        const auto stat = ReadUnixText("/proc/" + pid + "/stat");
        if (!stat || stat->rfind(')') == std::string::npos) continue;
        std::istringstream fields(stat->substr(stat->rfind(')') + 1));
        std::string field[23];
        for (int i = 3; i <= 22; ++i) fields >> field[i];
        if (!fields) continue;
        auto value = [&field](int i) { return std::atof(field[i].c_str()); };
        // Fields 14 and 15: user and system time; 22: start time since boot.
        found.push_back({std::atoi(pid.c_str()), value(22) / *ticks, (value(14) + value(15)) / *ticks * 1000.0});
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

// The program subtracts from Wine's tick count, which need not run in step with the kernel's
// clock since boot (a raw monotonic clock drifts from the adjusted one by some parts per
// million, which adds up to a tenth of a second over an uptime of hours). The shell started
// seconds ago, so shifting the kernel's start time by the offset between the two clocks now puts
// it on the program's scale.
std::optional<double> TickCountAheadOfUptimeSeconds() {
    const ULONGLONG before = GetTickCount64();
    const auto uptime = ReadUnixText("/proc/uptime");
    const ULONGLONG after = GetTickCount64();
    if (!uptime || after - before > 20) return std::nullopt;
    return static_cast<double>(before + after) / 2000.0 - std::atof(uptime->c_str());
}

// The caption against the kernel's start time of the shell, put on the tick count's scale.
void ExpectAgrees(double captionSeconds, double truthSeconds, const char* shell) {
    EXPECT_GE(captionSeconds, truthSeconds - kTruthToleranceSeconds)
        << "the caption is earlier than the start of " << shell;
    EXPECT_LE(captionSeconds, truthSeconds + kTruthToleranceSeconds + kWineCreationLagSeconds)
        << "the caption is later than the start of " << shell;
}

std::optional<UnixProcess> OnlyProcessNamed(const std::string& name, std::string* error) {
    const auto found = UnixProcessesNamed(name, error);
    if (found.size() == 1) return found.front();
    if (error && error->empty()) {
        *error = std::to_string(found.size()) + " processes named " + name + " in this prefix";
    }
    return std::nullopt;
}

// The CPU time that the kernel charged to the target, the one process of this prefix with its name.
std::optional<double> CpuMilliseconds() {
    const std::wstring& exe = TargetExe();
    const std::string name = Utf8(exe.substr(exe.find_last_of(L"\\/") + 1));
    std::string error;
    const auto found = UnixProcessesNamed(name, &error);
    if (found.size() != 1) {
        std::printf("[          ] %zu processes named %s in this prefix %s\n", found.size(), name.c_str(), error.c_str());
        return std::nullopt;
    }
    return found.front().cpuMilliseconds;
}

// A regional setting of the prefix's user, put back (or removed again) however the test ends.
class InternationalOverride {
public:
    InternationalOverride(const wchar_t* name, const wchar_t* value) : name(name) {
        wchar_t old[64] = {};
        DWORD size = sizeof old;
        if (RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_SZ, nullptr, old, &size) == ERROR_SUCCESS) {
            saved = old;
        }
        Write(value);
    }
    ~InternationalOverride() {
        if (saved) {
            Write(saved->c_str());
        } else {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, name);
        }
    }
    InternationalOverride(const InternationalOverride&) = delete;
    InternationalOverride& operator=(const InternationalOverride&) = delete;

private:
    static constexpr wchar_t kKey[] = L"Control Panel\\International";
    void Write(const wchar_t* value) {
        RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name, REG_SZ, value,
                        static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    }
    const wchar_t* name;
    std::optional<std::wstring> saved;
};

// This test program, copied to a folder of its own as myexplorer.exe and running until the end of
// the scope.
class StandInShell {
public:
    StandInShell() {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"vossel-e2e-standin-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder.c_str(), nullptr);
        path = folder + L"\\" + kStandInName;
        if (!CopyFileW(self, path.c_str(), FALSE)) {
            error = "could not copy the test program to " + Utf8(path);
            return;
        }
        std::wstring commandLine = L"\"" + path + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                            nullptr, folder.c_str(), &startup, &info)) {
            error = "could not start " + Utf8(path) + ", error " + std::to_string(GetLastError());
            return;
        }
        CloseHandle(info.hThread);
        process = info.hProcess;
    }
    ~StandInShell() {
        if (process) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 10000);
            CloseHandle(process);
        }
        DeleteFileW(path.c_str());
        RemoveDirectoryW(folder.c_str());
    }
    StandInShell(const StandInShell&) = delete;
    StandInShell& operator=(const StandInShell&) = delete;

    bool Running() const { return process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }
    const std::string& Error() const { return error; }

private:
    std::wstring folder;
    std::wstring path;
    HANDLE process = nullptr;
    std::string error;
};

struct Launch {
    std::unique_ptr<Target> target;
    HWND window = nullptr;
    std::optional<Caption> first;
};

// Starts the exe and waits for its window and its first caption. Wine starts the prefix's desktop
// (its explorer.exe) with the first window of a session: that happens here first, so that neither
// the start-up time nor the shell's start belongs to the program.
void StartAndWaitForCaption(Launch& launch) {
    ASSERT_NE(GetDesktopWindow(), nullptr);
    launch.target = std::make_unique<Target>(TargetExe());
    ASSERT_TRUE(launch.target->Started()) << launch.target->StartError();
    launch.window = launch.target->WaitForWindow(L"Vossel", kStartTimeoutMs);
    ASSERT_NE(launch.window, nullptr) << "no window titled \"Vossel\" appeared";
    const auto line = launch.target->WaitForPrefix("Vossel: Label2 = ", kLineTimeoutMs);
    ASSERT_TRUE(line.has_value()) << "no caption within " << kLineTimeoutMs / 1000 << " s of the window";
    launch.first = ParseCaption(*line);
    ASSERT_TRUE(launch.first.has_value()) << "not a number of seconds: " << line->text;
}

bool Is32Bit() { return TargetExe().find(L"x86") != std::wstring::npos; }

TEST(Measurement, FirstCaptionComesPromptlyAndMatchesTheShellsStartAndALaterShellLeavesItStanding) {
    Launch launch;
    ASSERT_NO_FATAL_FAILURE(StartAndWaitForCaption(launch));
    const Target& target = *launch.target;

    // The 64-bit exe is timed from its creation. Wine runs the 32-bit exe under emulation, where
    // getting to the first line alone takes seconds, so that one is timed from its first line.
    const auto lines = target.Lines();
    ASSERT_FALSE(lines.empty());
    const double origin = Is32Bit() ? lines.front().seconds : 0.0;
    EXPECT_LT(launch.first->at - origin, 1.0)
        << "first caption " << launch.first->at << " s after creation, first line at " << lines.front().seconds << " s";
    EXPECT_NE(launch.first->separator, ',') << "a comma although the prefix's separator is a full stop";

    std::string error;
    const auto shell = OnlyProcessNamed("explorer.exe", &error);
    ASSERT_TRUE(shell.has_value()) << error;
    const auto offset = TickCountAheadOfUptimeSeconds();
    ASSERT_TRUE(offset.has_value()) << "could not read /proc/uptime";
    std::printf("[          ] caption %.3f s, explorer.exe (pid %d) started %.3f s after boot; "
                "tick count ahead by %.3f s\n",
                launch.first->seconds, shell->pid, shell->startSeconds, *offset);
    ExpectAgrees(launch.first->seconds, shell->startSeconds + *offset, "explorer.exe");
    // Wine's session never slept: the kernel's start is the start, and the program says so once.
    EXPECT_TRUE(target.WaitForPrefix("Vossel: start = full boot", kLineTimeoutMs).has_value()) << target.Describe();

    // A later process whose name also ends in explorer.exe is last in the snapshot, but it started
    // after this run: not the shell of this log-on. Repaints keep the number, jitter and all.
    ASSERT_FALSE(target.HasExited()) << "the program ended before the stand-in could start";
    StandInShell standIn;
    ASSERT_TRUE(standIn.Error().empty()) << standIn.Error();
    // From here on every paint sees the stand-in.
    const size_t from = target.Lines().size();
    std::optional<UnixProcess> later;
    for (int i = 0; i < 50 && !later; ++i) {
        error.clear();
        later = OnlyProcessNamed("myexplorer.exe", &error);
        if (!later) Pause(100);
    }
    ASSERT_TRUE(later.has_value()) << error;
    ASSERT_TRUE(standIn.Running()) << "the stand-in ended by itself";
    for (int i = 0; i < 20 && !target.HasExited(); ++i) EXPECT_TRUE(ForcePaint(launch.window));
    ASSERT_FALSE(target.HasExited()) << "the program ended before the repaints";
    const auto allLines = target.Lines();
    EXPECT_TRUE(std::none_of(allLines.begin() + static_cast<std::ptrdiff_t>(from), allLines.end(),
                             [](const DebugLine& line) { return line.text.rfind("Vossel: Label2 = ", 0) == 0; }))
        << "the caption moved on a repaint:\n" << target.Describe();
    EXPECT_EQ(std::count_if(allLines.begin(), allLines.end(),
                            [](const DebugLine& line) { return line.text.rfind("Vossel: start = ", 0) == 0; }),
              1)
        << "the start is said with the first caption only";
    EXPECT_TRUE(std::none_of(allLines.begin(), allLines.end(),
                             [](const DebugLine& line) { return line.text.rfind("Vossel: not measured", 0) == 0; }))
        << target.Describe();
}

TEST(Measurement, CommaSeparatorOfTheRegionalSettingsShowsInTheCaption) {
    InternationalOverride comma(L"sDecimal", L",");
    Launch launch;
    ASSERT_NO_FATAL_FAILURE(StartAndWaitForCaption(launch));
    // A boot duration in whole seconds has no separator at all; the next measurement would differ.
    std::optional<Caption> caption = launch.first;
    for (int i = 0; i < 5 && caption->separator == 0; ++i) {
        const size_t from = launch.target->Lines().size();
        ForcePaint(launch.window);
        if (auto line = launch.target->WaitForPrefix("Vossel: Label2 = ", 2000, from)) caption = ParseCaption(*line);
    }
    ASSERT_TRUE(caption.has_value());
    EXPECT_EQ(caption->separator, ',') << "caption " << caption->seconds << " shown without a comma";
}

TEST(Measurement, RepaintsLeakNoHandlesAndThePaintDoesNotFeedItself) {
    // The counter must see handles come and go, or an unchanged count proves nothing.
    const auto ownBefore = stress::KernelHandleCount(GetCurrentProcessId());
    ASSERT_TRUE(ownBefore.has_value()) << "NtQuerySystemInformation(SystemExtendedHandleInformation) failed";
    HANDLE events[5] = {};
    for (HANDLE& event : events) event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const auto ownWith = stress::KernelHandleCount(GetCurrentProcessId());
    for (HANDLE event : events) CloseHandle(event);
    const auto ownAfter = stress::KernelHandleCount(GetCurrentProcessId());
    ASSERT_TRUE(ownWith && ownAfter);
    ASSERT_EQ(*ownWith, *ownBefore + 5) << "the handle counter did not see five new handles";
    ASSERT_EQ(*ownAfter, *ownBefore) << "the handle counter did not see five handles closed";

    Launch launch;
    ASSERT_NO_FATAL_FAILURE(StartAndWaitForCaption(launch));
    Target& target = *launch.target;
    // Counted once the fade has come to rest, so that nothing else is going on in the program.
    ASSERT_TRUE(target.WaitForPrefix("Vossel: opacity = 250", kLineTimeoutMs).has_value())
        << "the fade-in did not come to rest";
    // The start record's write, from a timer message, is work of the program's own too.
    ASSERT_TRUE(target.WaitForPrefix("Vossel: event ", kLineTimeoutMs).has_value())
        << target.Describe();
    ASSERT_TRUE(Settle(launch.window)) << "the program does not answer";
    const auto handlesBefore = stress::KernelHandleCount(target.ProcessId());
    const auto cpuBefore = CpuMilliseconds();
    ASSERT_TRUE(handlesBefore.has_value()) << "the handle table could not be read";
    ASSERT_TRUE(cpuBefore.has_value()) << "the program's CPU time could not be read";
    ASSERT_GT(*handlesBefore, 0u) << "the counter sees no handles in the program at all";

    int painted = 0;
    const double repaintStart = target.Elapsed();
    std::string missed;
    for (int i = 0; i < kRepaints && !target.HasExited(); ++i) {
        if (ForcePaint(launch.window)) {
            ++painted;
        } else {
            missed += " " + std::to_string(i);
        }
    }
    const double repaintSeconds = target.Elapsed() - repaintStart;
    ASSERT_FALSE(target.HasExited()) << "the program ended during the repaints (" << repaintSeconds << " s)";
    EXPECT_EQ(painted, kRepaints) << "repaints that the program did not carry out:" << missed;

    const auto cpuAfterRepaints = CpuMilliseconds();
    const size_t linesAfterRepaints = target.Lines().size();
    Pause(kQuietMs);
    const auto cpuQuiet = CpuMilliseconds();
    const auto handlesAfter = stress::KernelHandleCount(target.ProcessId());
    ASSERT_FALSE(target.HasExited()) << "the program ended while it was watched at rest";
    ASSERT_TRUE(cpuAfterRepaints && cpuQuiet && handlesAfter) << "a reading failed after the repaints";

    std::printf("[          ] %d repaints in %.2f s: CPU %.0f ms; then %.0f ms in %.1f s at rest; "
                "handles %zu -> %zu; %zu caption lines\n",
                painted, repaintSeconds, *cpuAfterRepaints - *cpuBefore, *cpuQuiet - *cpuAfterRepaints,
                kQuietMs / 1000.0, *handlesBefore, *handlesAfter, CaptionLines(target).size());
    EXPECT_EQ(*handlesAfter, *handlesBefore) << "handles left behind by " << kRepaints << " measurements";
    // The repaints themselves cost CPU time, so the reading does see the program's work.
    EXPECT_GT(*cpuAfterRepaints - *cpuBefore, 0.0) << "200 measurements cost no CPU time: the reading is blind";
    EXPECT_LT(*cpuQuiet - *cpuAfterRepaints, 100.0) << "the program keeps working after the repaints stopped";
    const auto lateCaptions = CaptionLines(target, linesAfterRepaints);
    EXPECT_TRUE(lateCaptions.empty()) << "the caption kept changing after the repaints stopped: "
                                      << lateCaptions.front().text;
}

}  // namespace
}  // namespace vossel::e2e
