// The Windows side of scripts/bench for one architecture. Runs Vossel.exe and the minimal window
// program alternately as debuggees (the end-to-end harness's Target), timing each from process
// creation to its first "Vossel: Label2 = " line, then reads its peak working set and the CPU it
// spends at rest. Runs measure_loop for the cost of one measurement. Writes the figures as one
// JSON object and as rows of a Markdown table.
//
//   bench_driver --arch=x64 --vossel=<exe> --minimal=<exe> --measure=<exe>
//                [--history=<exe>] [--runs=7] [--idle-seconds=10] --json=<file> --table=<file>
// --history names the variant that reads its records from VOSSEL_TEST_HISTORY: the history
// window's first paint with 0, 30 and 1000 recorded starts.
//   bench_driver --arch=x64 --vossel=<exe> --watch=<burn.exe> --json=<file> --table=<file>
// The second form takes the watching's figures alone: scripts/bench runs it first in a fresh start
// of the prefix, since only a run within 90 s of the shell's creation watches.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "harness.h"

namespace {

using vossel::e2e::Target;
using vossel::e2e::Utf8;

constexpr DWORD kStartTimeoutMs = 300000;  // a 32-bit start under emulation can take minutes
constexpr DWORD kFadeTimeoutMs = 60000;
constexpr DWORD kSettleMs = 500;

struct Options {
    std::wstring arch, vossel, minimal, measure, json, table;
    std::wstring burn;  // --watch=<burn.exe>: only the watching's figures, with idle stand-ins
    std::wstring history;  // --history=<exe>: the variant of Vossel.exe with records of its own
    int runs = 7;
    int idleSeconds = 10;
};

// One launch; a figure is missing when the run could not produce it.
struct RunFigures {
    std::optional<double> startupMs;
    std::optional<double> peakWorkingSetKiB;
    std::optional<double> idleCpuMs;
};

struct Series {
    std::vector<double> vossel, minimal;
};

double FileTimeMs(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 10000.0;  // 100 ns units
}

std::optional<double> CpuMs(HANDLE process) {
    FILETIME creation, exit, kernel, user;
    if (!GetProcessTimes(process, &creation, &exit, &kernel, &user)) return std::nullopt;
    return FileTimeMs(kernel) + FileTimeMs(user);
}

RunFigures MeasureRun(const std::wstring& exe, bool isVossel, int idleSeconds, std::string& note) {
    RunFigures figures;
    Target target(exe);
    if (!target.Started()) {
        note = "did not start: " + target.StartError();
        return figures;
    }
    const auto first = target.WaitForPrefix("Vossel: Label2 = ", kStartTimeoutMs);
    if (!first) {
        note = "no caption line";
        return figures;
    }
    figures.startupMs = first->seconds * 1000.0;

    // At rest: Vossel once its fade-in has reached its last level (the timer stops one tick
    // later, hence the settling pause); the minimal program as soon as it has painted.
    if (isVossel && !target.WaitForPrefix("Vossel: opacity = 250", kFadeTimeoutMs)) {
        note = "the fade-in did not finish";
        return figures;
    }
    vossel::e2e::Pause(kSettleMs);

    HANDLE process =
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, target.ProcessId());
    if (!process) {
        note = "OpenProcess failed, error " + std::to_string(GetLastError());
        return figures;
    }
    const auto before = CpuMs(process);
    vossel::e2e::Pause(static_cast<DWORD>(idleSeconds) * 1000);
    const auto after = CpuMs(process);
    // A process that ended inside the window was not at rest for all of it.
    if (target.HasExited()) {
        note = "ended before the idle window closed";
    } else if (before && after) {
        figures.idleCpuMs = *after - *before;
    }
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (!target.HasExited() && GetProcessMemoryInfo(process, &memory, sizeof memory)) {
        figures.peakWorkingSetKiB = static_cast<double>(memory.PeakWorkingSetSize) / 1024.0;
    }
    CloseHandle(process);
    target.Kill();
    return figures;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string Number(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// The ratio as JSON, or null when the baseline is zero or missing.
std::string RatioJson(double value, double baseline) {
    return baseline > 0 ? Number(value / baseline, 3) : "null";
}

std::string RatioCell(double value, double baseline) {
    return baseline > 0 ? Number(value / baseline, 2) : "n/a (baseline 0)";
}

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string JsonArray(const std::vector<double>& values, int decimals) {
    std::string text = "[";
    for (size_t i = 0; i < values.size(); ++i) text += (i ? ", " : "") + Number(values[i], decimals);
    return text + "]";
}

std::string SeriesJson(const Series& series, int decimals) {
    const double vossel = Median(series.vossel), minimal = Median(series.minimal);
    return "{\"vossel\": " + Number(vossel, decimals) + ", \"baseline\": " + Number(minimal, decimals) +
           ", \"ratio\": " + RatioJson(vossel, minimal) +
           ", \"vossel_runs\": " + JsonArray(series.vossel, decimals) +
           ", \"baseline_runs\": " + JsonArray(series.minimal, decimals) + "}";
}

std::string Row(const std::string& arch, const std::string& figure, double vossel,
                double baseline, int decimals, const std::string& baselineName) {
    return "| " + arch + " | " + figure + " | " + Number(vossel, decimals) + " | " +
           Number(baseline, decimals) + " (" + baselineName + ") | " +
           RatioCell(vossel, baseline) + " |\n";
}

std::optional<double> FileBytes(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return static_cast<double>(data.nFileSizeLow) + 4294967296.0 * data.nFileSizeHigh;
}

// The file's size less its resource section (the picture, the font, the icon): the code and data.
std::optional<double> BytesWithoutResources(const std::wstring& path) {
    const auto bytes = FileBytes(path);
    FILE* file = bytes ? _wfopen(path.c_str(), L"rb") : nullptr;
    if (!file) return std::nullopt;
    std::vector<unsigned char> image(static_cast<size_t>(*bytes));
    const bool read = std::fread(image.data(), 1, image.size(), file) == image.size();
    std::fclose(file);
    if (!read || image.size() < 64) return std::nullopt;
    auto at = [&](size_t offset, size_t size) {
        unsigned value = 0;
        for (size_t i = 0; i < size && offset + i < image.size(); ++i) value |= image[offset + i] << (8 * i);
        return value;
    };
    const size_t header = at(60, 4), sections = at(header + 6, 2);
    const size_t table = header + 24 + at(header + 20, 2);
    for (size_t i = 0; i < sections; ++i) {
        const size_t entry = table + 40 * i;
        if (entry + 40 <= image.size() && std::memcmp(&image[entry], ".rsrc", 6) == 0)
            return *bytes - at(entry + 16, 4);
    }
    return bytes;
}

// Runs a console program and returns its standard output, or nothing when it fails.
std::optional<std::string> CaptureOutput(const std::wstring& exe, const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return std::nullopt;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    PROCESS_INFORMATION info{};
    const BOOL created = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &info);
    CloseHandle(writeEnd);
    if (!created) {
        CloseHandle(readEnd);
        return std::nullopt;
    }
    std::string output;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
    CloseHandle(readEnd);
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    if (exitCode != 0 || output.empty()) return std::nullopt;
    return output;
}

// Reads a number field of measure_loop's one-line JSON.
std::optional<double> JsonNumber(const std::string& json, const std::string& key) {
    const size_t at = json.find("\"" + key + "\": ");
    if (at == std::string::npos) return std::nullopt;
    return std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

bool SaveText(const std::wstring& path, const std::string& text) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

// The records of `count` full boots for VOSSEL_TEST_HISTORY, newest first, six hours apart: the
// record of the start (format 1: time, number, kind, the start and the shell in UTC).
std::wstring HistoryRecords(int count) {
    constexpr std::uint64_t kMs = 10000, kHour = 3600 * 1000 * kMs;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const std::uint64_t newest = ((std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime) - kHour;
    auto utc = [](std::uint64_t filetime) {
        FILETIME time{static_cast<DWORD>(filetime), static_cast<DWORD>(filetime >> 32)};
        SYSTEMTIME t{};
        FileTimeToSystemTime(&time, &t);
        wchar_t text[32];
        swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth, t.wDay, t.wHour,
                 t.wMinute, t.wSecond, t.wMilliseconds);
        return std::wstring(text);
    };
    std::wstring records;
    for (int i = 0; i < count; ++i) {
        const std::uint64_t start = newest - i * 6 * kHour;
        const int ms = 20000 + (i * 7919) % 30000;
        const std::uint64_t shell = start + ms * kMs;
        records += L"1001|" + std::to_wstring(shell + 2000 * kMs) + L"|1|" + std::to_wstring(ms) +
                   L"|full boot||" + utc(start) + L"|" + utc(shell) + L"|1.0|x64;";
    }
    return records;
}

// Process creation to the history window's first paint with its records ("history painted <n>").
std::optional<double> MeasureHistoryPaint(const std::wstring& exe, int starts, std::string& note) {
    SetEnvironmentVariableW(L"VOSSEL_TEST_HISTORY", HistoryRecords(starts).c_str());
    std::optional<double> ms;
    {
        Target target(exe, std::wstring{}, L"/history");
        if (!target.Started()) {
            note = "did not start: " + target.StartError();
        } else if (const auto painted = target.WaitForPrefix("Vossel: history painted ", kStartTimeoutMs)) {
            // Fewer starts painted than recorded (at most 30 are shown) is the window's rule; none
            // where some were recorded is a reading that failed.
            if (starts > 0 && painted->text == "Vossel: history painted 0") {
                note = "no start was read";
            } else {
                ms = painted->seconds * 1000.0;
            }
        } else {
            note = "no paint line";
        }
        target.Kill();
    }
    SetEnvironmentVariableW(L"VOSSEL_TEST_HISTORY", nullptr);
    return ms;
}

// One run from its creation to its own end: the CPU it spent, how long it lived, its peak working
// set (read while it lives: an ended process tells none).
struct WholeRun {
    std::optional<double> cpuMs, lifeMs, peakKiB;
};

// Wine 8 answers GetProcessTimes for another process with the caller's own times; its Unix side
// tells the truth: the CPU (user + system) of the running Unix process whose first argument ends
// with the exe's file name, in ms. Nothing where there is no Unix side or no such process.
std::optional<double> UnixCpuMs(const std::wstring& exe) {
    const std::string name = Utf8(exe.substr(exe.find_last_of(L"\\/") + 1));
    const auto text = vossel::e2e::RunUnixOutput(
        "getconf CLK_TCK; for p in /proc/[0-9]*; do n=$(tr '\\000' '\\n' < $p/cmdline | head -n 1); "
        "case $n in *" + name + ") awk '{print $14 + $15}' $p/stat;; esac; done 2>/dev/null",
        10000);
    double hz = 0, ticks = 0;
    if (!text || std::sscanf(text->c_str(), "%lf %lf", &hz, &ticks) != 2 || hz <= 0) return std::nullopt;
    return ticks * 1000.0 / hz;
}

WholeRun MeasureWholeRun(const std::wstring& exe, DWORD timeoutMs, std::string& note) {
    WholeRun run;
    Target target(exe);
    if (!target.Started()) {
        note = "did not start: " + target.StartError();
        return run;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, target.ProcessId());
    if (!process) {
        note = "OpenProcess failed, error " + std::to_string(GetLastError());
        return run;
    }
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    std::optional<double> unixCpuMs;
    while (!target.HasExited() && GetTickCount64() < deadline) {
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof memory;
        if (GetProcessMemoryInfo(process, &memory, sizeof memory)) {
            run.peakKiB = static_cast<double>(memory.PeakWorkingSetSize) / 1024.0;
        }
        // The last reading before the end: what the final second spent is not in it.
        if (const auto unix = UnixCpuMs(exe)) unixCpuMs = unix;
        vossel::e2e::Pause(250);
    }
    if (target.WaitForExit(1000)) {
        run.cpuMs = unixCpuMs ? unixCpuMs : CpuMs(process);
        run.lifeMs = target.ExitSeconds() * 1000.0;
    } else {
        note = "did not end by itself";
    }
    CloseHandle(process);
    return run;
}

// The watching's cost with kStandIns idle processes of this user running: a run that watches (this
// must be the first program of a fresh start of the prefix, within 90 s of its shell's creation)
// beside today's run that does not (a second copy: this program then holds the watch's mutex).
constexpr int kStandIns = 50;
constexpr DWORD kWatchTimeoutMs = 90000 + kStartTimeoutMs;

int MeasureWatching(const Options& options) {
    const std::string arch = Utf8(options.arch);
    std::vector<PROCESS_INFORMATION> standIns;
    for (int i = 0; i < kStandIns; ++i) {
        std::wstring line = L"\"" + options.burn + L"\" 0";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (CreateProcessW(options.burn.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &info)) {
            standIns.push_back(info);
        }
    }
    std::string watchNote, plainNote;
    std::fprintf(stderr, "bench %s: a watching run with %zu idle processes (about 90 s)\n", arch.c_str(),
                 standIns.size());
    const WholeRun watching = MeasureWholeRun(options.vossel, kWatchTimeoutMs, watchNote);
    HANDLE held = CreateMutexW(nullptr, FALSE, L"Local\\VosselStartupWatch");
    std::fprintf(stderr, "bench %s: a run that does not watch\n", arch.c_str());
    const WholeRun plain = MeasureWholeRun(options.vossel, kWatchTimeoutMs, plainNote);
    if (held) CloseHandle(held);
    for (PROCESS_INFORMATION& info : standIns) {
        TerminateProcess(info.hProcess, 0);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    const bool complete = standIns.size() == kStandIns && watching.cpuMs && watching.lifeMs &&
                          watching.peakKiB && plain.cpuMs && plain.peakKiB;
    // What the watching added, over the span it watched, as a share of one core.
    const double ownPercent = complete && *watching.lifeMs > 0
                                  ? std::max(0.0, *watching.cpuMs - *plain.cpuMs) / *watching.lifeMs * 100.0
                                  : 0;
    std::string table;
    table += Row(arch, "CPU of a whole run, 50 idle processes running (ms)", watching.cpuMs.value_or(0),
                 plain.cpuMs.value_or(0), 0, "run that does not watch");
    table += Row(arch, "the watching's own CPU over its window (% of one core)", ownPercent, 0.5, 2, "goal");
    table += Row(arch, "peak working set of a watching run (KiB)", watching.peakKiB.value_or(0),
                 plain.peakKiB.value_or(0), 0, "run that does not watch");
    const std::string json =
        "{\"arch\": \"" + arch + "\", \"stand_ins\": " + std::to_string(standIns.size()) +
        ", \"watching\": {\"cpu_ms\": " + Number(watching.cpuMs.value_or(0), 1) +
        ", \"life_ms\": " + Number(watching.lifeMs.value_or(0), 0) +
        ", \"peak_working_set_kib\": " + Number(watching.peakKiB.value_or(0), 0) +
        "}, \"not_watching\": {\"cpu_ms\": " + Number(plain.cpuMs.value_or(0), 1) +
        ", \"life_ms\": " + Number(plain.lifeMs.value_or(0), 0) +
        ", \"peak_working_set_kib\": " + Number(plain.peakKiB.value_or(0), 0) +
        "}, \"own_cpu_percent_of_one_core\": " + Number(ownPercent, 3) + ", \"problems\": [" +
        (watchNote.empty() ? "" : JsonString("watching: " + watchNote)) +
        (!watchNote.empty() && !plainNote.empty() ? ", " : "") +
        (plainNote.empty() ? "" : JsonString("not watching: " + plainNote)) + "]}\n";
    if (!SaveText(options.json, json) || !SaveText(options.table, table)) {
        std::fprintf(stderr, "bench_driver: could not write the results\n");
        return 1;
    }
    if (!watchNote.empty()) std::fprintf(stderr, "bench %s: watching: %s\n", arch.c_str(), watchNote.c_str());
    if (!plainNote.empty()) std::fprintf(stderr, "bench %s: not watching: %s\n", arch.c_str(), plainNote.c_str());
    return complete ? 0 : 1;
}

std::optional<Options> ParseOptions() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    Options options;
    for (int i = 1; arguments && i < count; ++i) {
        const std::wstring argument = arguments[i];
        const size_t equals = argument.find(L'=');
        if (argument.rfind(L"--", 0) != 0 || equals == std::wstring::npos) continue;
        const std::wstring name = argument.substr(2, equals - 2), value = argument.substr(equals + 1);
        if (name == L"arch") options.arch = value;
        if (name == L"vossel") options.vossel = value;
        if (name == L"minimal") options.minimal = value;
        if (name == L"measure") options.measure = value;
        if (name == L"json") options.json = value;
        if (name == L"table") options.table = value;
        if (name == L"watch") options.burn = value;
        if (name == L"history") options.history = value;
        if (name == L"runs") options.runs = std::max(1, _wtoi(value.c_str()));
        if (name == L"idle-seconds") options.idleSeconds = std::max(1, _wtoi(value.c_str()));
    }
    LocalFree(arguments);
    if (options.arch.empty() || options.vossel.empty() || options.json.empty() || options.table.empty() ||
        (options.burn.empty() && (options.minimal.empty() || options.measure.empty()))) {
        return std::nullopt;
    }
    return options;
}

}  // namespace

int main() {
    const auto options = ParseOptions();
    if (!options) {
        std::fprintf(stderr,
                     "usage: bench_driver --arch=<name> --vossel=<exe> --minimal=<exe> "
                     "--measure=<exe> [--history=<exe>] [--runs=7] [--idle-seconds=10] --json=<file> --table=<file>\n"
                     "       bench_driver --arch=<name> --vossel=<exe> --watch=<burn.exe> --json=<file> "
                     "--table=<file>\n");
        return 2;
    }
    if (!options->burn.empty()) return MeasureWatching(*options);
    const std::string arch = Utf8(options->arch);

    Series startup, weight, idle;
    std::vector<std::string> problems;
    // The figures at rest are of runs that do not watch (the watching has its own, from a run of
    // its own): a run within 90 s of the shell's creation would, unless this holds the mutex.
    HANDLE notWatching = CreateMutexW(nullptr, FALSE, L"Local\\VosselStartupWatch");
    // Alternating the two programs spreads any drift in the machine's load over both.
    for (int run = 1; run <= options->runs; ++run) {
        for (bool isVossel : {true, false}) {
            const char* name = isVossel ? "Vossel" : "minimal";
            std::string note;
            const RunFigures figures =
                MeasureRun(isVossel ? options->vossel : options->minimal, isVossel,
                           options->idleSeconds, note);
            auto keep = [isVossel](Series& series, const std::optional<double>& value) {
                if (value) (isVossel ? series.vossel : series.minimal).push_back(*value);
            };
            keep(startup, figures.startupMs);
            keep(weight, figures.peakWorkingSetKiB);
            keep(idle, figures.idleCpuMs);
            std::fprintf(stderr, "bench %s run %d/%d %-7s start-up %s ms, peak %s KiB, idle CPU %s ms%s%s\n",
                         arch.c_str(), run, options->runs, name,
                         figures.startupMs ? Number(*figures.startupMs, 0).c_str() : "-",
                         figures.peakWorkingSetKiB ? Number(*figures.peakWorkingSetKiB, 0).c_str() : "-",
                         figures.idleCpuMs ? Number(*figures.idleCpuMs, 1).c_str() : "-",
                         note.empty() ? "" : ": ", note.c_str());
            if (!note.empty()) problems.push_back(std::string(name) + " run " + std::to_string(run) + ": " + note);
        }
    }

    // The history's first paint, empty and with records, run alternately like the above.
    constexpr int kHistorySizes[] = {0, 30, 1000};
    std::vector<double> historyMs[3];
    for (int run = 1; !options->history.empty() && run <= options->runs; ++run) {
        for (int size = 0; size < 3; ++size) {
            std::string note;
            const auto ms = MeasureHistoryPaint(options->history, kHistorySizes[size], note);
            if (ms) historyMs[size].push_back(*ms);
            std::fprintf(stderr, "bench %s run %d/%d history, %d starts: first paint %s ms%s%s\n",
                         arch.c_str(), run, options->runs, kHistorySizes[size],
                         ms ? Number(*ms, 0).c_str() : "-", note.empty() ? "" : ": ", note.c_str());
            if (!note.empty()) {
                problems.push_back("history of " + std::to_string(kHistorySizes[size]) + " run " +
                                   std::to_string(run) + ": " + note);
            }
        }
    }

    if (notWatching) CloseHandle(notWatching);

    std::fprintf(stderr, "bench %s: measure_loop\n", arch.c_str());
    const auto measurement = CaptureOutput(options->measure, L"--iterations=1000");
    if (!measurement) problems.push_back("measure_loop failed");

    const auto vosselBytes = FileBytes(options->vossel), minimalBytes = FileBytes(options->minimal);

    std::string json = "{\"arch\": \"" + arch + "\", \"runs\": " + std::to_string(options->runs) +
                       ", \"idle_seconds\": " + std::to_string(options->idleSeconds) +
                       ", \"startup_ms\": " + SeriesJson(startup, 1) +
                       ", \"peak_working_set_kib\": " + SeriesJson(weight, 0) +
                       ", \"idle_cpu_ms\": " + SeriesJson(idle, 1) + ", \"exe_bytes\": {\"vossel\": " +
                       Number(vosselBytes.value_or(0), 0) + ", \"baseline\": " +
                       Number(minimalBytes.value_or(0), 0) + ", \"ratio\": " +
                       RatioJson(vosselBytes.value_or(0), minimalBytes.value_or(0)) +
                       "}, \"measurement\": " + measurement.value_or("null");
    if (!options->history.empty()) {
        json += ", \"history_first_paint_ms\": {\"30\": " +
                SeriesJson({historyMs[1], historyMs[0]}, 1) + ", \"1000\": " +
                SeriesJson({historyMs[2], historyMs[0]}, 1) + "}";
    }
    json += ", \"problems\": [";
    for (size_t i = 0; i < problems.size(); ++i) json += (i ? ", " : "") + JsonString(problems[i]);
    json += "]}\n";

    std::string table;
    table += Row(arch, "start-up to first caption (ms)", Median(startup.vossel),
                 Median(startup.minimal), 0, "minimal window");
    if (measurement) {
        table += Row(arch, "one measurement (µs)", JsonNumber(*measurement, "measurement_us").value_or(0),
                     JsonNumber(*measurement, "walk_us").value_or(0), 1, "bare snapshot walk");
    }
    table += Row(arch, "peak working set (KiB)", Median(weight.vossel), Median(weight.minimal), 0,
                 "minimal window");
    table += Row(arch, "exe size (bytes)", vosselBytes.value_or(0), minimalBytes.value_or(0), 0,
                 "minimal window");
    table += Row(arch, "exe size without resources (bytes)",
                 BytesWithoutResources(options->vossel).value_or(0),
                 BytesWithoutResources(options->minimal).value_or(0), 0, "minimal window");
    table += Row(arch, "CPU at rest over " + std::to_string(options->idleSeconds) + " s (ms)",
                 Median(idle.vossel), Median(idle.minimal), 1, "minimal window");

    if (!options->history.empty()) {
        for (int size : {1, 2}) {
            table += Row(arch, "history's first paint, " + std::to_string(kHistorySizes[size]) +
                                   " starts recorded (ms)",
                         Median(historyMs[size]), Median(historyMs[0]), 0, "empty history");
        }
    }

    if (!SaveText(options->json, json) || !SaveText(options->table, table)) {
        std::fprintf(stderr, "bench_driver: could not write the results\n");
        return 1;
    }
    for (const auto& problem : problems) std::fprintf(stderr, "bench %s: %s\n", arch.c_str(), problem.c_str());
    // A benchmark reports; it fails only when a figure could not be taken at all.
    const bool historyComplete = options->history.empty() ||
                                 (!historyMs[0].empty() && !historyMs[1].empty() && !historyMs[2].empty());
    const bool complete = historyComplete && measurement && !startup.vossel.empty() && !startup.minimal.empty() &&
                          !weight.vossel.empty() && !weight.minimal.empty() && !idle.vossel.empty() &&
                          !idle.minimal.empty();
    return complete ? 0 : 1;
}
