// The watching of a log-on's start-up programs, end to end: four stand-in programs in the user's
// Run key, started as a log-on starts them (wineboot runs the Run entries), named and rated by a
// Vossel that watches, in its debug lines and in its event 1020 record; and, told of a log-off
// once its window has gone, what it has written at once, marked partial.
//
// Only a run within 90 s of the shell's creation watches, and each ordinary test run holds the
// watch's mutex (e2e_main.cpp), so each test here runs alone, as the ctest entries e2e_watch_* and
// e2e_watch_end_* (cmake/e2e.cmake), each with a prefix of its own whose shell that run creates.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"

namespace vossel::e2e {
namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

struct StandIn {
    const wchar_t* entry;  // the Run value's name, which names the program
    const wchar_t*
        fileName;  // a copy of burn.exe of its own, so that no two entries share an image
    const wchar_t* arguments;  // CPU ms to burn, "end" to end then
    const char* rating;
};
// Slowest first. Under Wine another process's CPU time is read in steps of about 300 ms: each
// burn stays a step clear of the thresholds (300 ms, 1 s).
constexpr StandIn kStandIns[] = {
    {L"Cloud Sync", L"CloudSync.exe", L"1600", "High"},
    {L"Updater", L"Updater.exe", L"1200 end", "High"},
    {L"Chat Helper", L"ChatHelper.exe", L"500", "Medium"},
    {L"Tray Icon", L"TrayIcon.exe", L"0", "Low"},
};

// The stand-ins' copies and Run values, removed with whatever of them still runs however the test
// ends.
class StandIns {
  public:
    explicit StandIns(const std::wstring& burnExe) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"vossel-watch";
        CreateDirectoryW(folder.c_str(), nullptr);
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &run,
                            nullptr) != ERROR_SUCCESS) {
            run = nullptr;
        }
        ready = run != nullptr;
        for (const StandIn& standIn : kStandIns) {
            const std::wstring path = folder + L"\\" + standIn.fileName;
            const std::wstring command = L"\"" + path + L"\" " + standIn.arguments;
            ready = ready && CopyFileW(burnExe.c_str(), path.c_str(), FALSE) &&
                    RegSetValueExW(run, standIn.entry, 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(command.c_str()),
                                   static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) ==
                        ERROR_SUCCESS;
        }
    }
    ~StandIns() {
        EndRunning();
        for (const StandIn& standIn : kStandIns) {
            if (run) RegDeleteValueW(run, standIn.entry);
            DeleteFileW((folder + L"\\" + standIn.fileName).c_str());
        }
        if (run) RegCloseKey(run);
        RemoveDirectoryW(folder.c_str());
    }
    StandIns(const StandIns&) = delete;
    StandIns& operator=(const StandIns&) = delete;

    // Ends the stand-ins that still run, each by its process id.
    void EndRunning() const {
        for (const StandIn& standIn : kStandIns) EndProcessesNamed(standIn.fileName);
    }

    // The CPU time that this process reads of the running stand-in with this file name, in ms.
    std::optional<long long> CpuMs(const wchar_t* fileName) const {
        const std::vector<DWORD> ids = ProcessIdsNamed(fileName);
        HANDLE process =
            ids.empty() ? nullptr : OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ids[0]);
        if (!process) return std::nullopt;
        FILETIME created{}, exited{}, kernel{}, user{};
        std::optional<long long> ms;
        if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
            const auto value = [](const FILETIME& t) {
                return static_cast<long long>((std::uint64_t{t.dwHighDateTime} << 32) |
                                              t.dwLowDateTime);
            };
            ms = (value(kernel) + value(user)) / 10'000;
        }
        CloseHandle(process);
        return ms;
    }

    bool ready = false;

  private:
    std::wstring folder;
    HKEY run = nullptr;
};

// What a log-on does with the Run key: wineboot starts its entries (and does not wait for them).
bool RunLogOnEntries() {
    wchar_t line[] = L"wineboot.exe";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        return false;
    const bool ended = WaitForSingleObject(info.hProcess, kStartTimeoutMs) == WAIT_OBJECT_0;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return ended;
}

// The text of a Wine trace line of an insertion string: what stands between L" and the last ".
std::string TracedString(const std::string& line) {
    const size_t open = line.find("L\"");
    const size_t close = line.rfind('"');
    return open == std::string::npos || close <= open + 1 ? std::string()
                                                          : line.substr(open + 2, close - open - 2);
}

using Ratings = std::vector<std::pair<std::string, std::string>>;  // entry, rating; in their order

// Each stand-in is there once; with its rating and in kStandIns' order where ratings are true.
void ExpectStandIns(const Ratings& ratings, bool rated, const std::string& where) {
    size_t previous = 0;
    for (const StandIn& standIn : kStandIns) {
        const std::string entry = Utf8(standIn.entry);
        size_t at = ratings.size(), count = 0;
        for (size_t i = 0; i < ratings.size(); ++i) {
            if (ratings[i].first != entry) continue;
            ++count;
            at = i;
        }
        ASSERT_EQ(count, 1u) << entry << " in " << where;
        if (!rated) continue;
        EXPECT_EQ(ratings[at].second, standIn.rating) << entry << " in " << where;
        EXPECT_TRUE(at >= previous) << entry << " is not in its place, slowest first, in " << where;
        previous = at;
    }
}

// The event 1020 record's strings as Wine traced them: ReportEventW's call (fixme:advapi), then
// its strings (eventlog).
struct RecordStrings {
    std::vector<std::string> values;
    Ratings programs;   // entry, rating
    std::string error;  // why there is no record to read
};
constexpr size_t kWatchField = 8;

RecordStrings ReadRecord(const std::string& traceEnd) {
    RecordStrings record;
    bool inRecord = false;
    for (const std::string& line : TraceSince(traceEnd, "ReportEventW")) {
        if (line.find(":advapi:") != std::string::npos) {
            inRecord = line.find(",0x000003fc,") != std::string::npos;
        } else if (inRecord) {
            record.values.push_back(TracedString(line));
        }
    }
    constexpr size_t kCount = 9, kFirst = 11, kFields = 6, kRating = 4;
    if (record.values.size() <= kCount) {
        record.error = "no event 1020 record";
        return record;
    }
    const size_t count = static_cast<size_t>(std::atoi(record.values[kCount].c_str()));
    if (record.values.size() != kFirst + count * kFields) {
        record.error = "the record's strings do not add up";
        return record;
    }
    for (size_t i = 0; i < count; ++i) {
        record.programs.emplace_back(record.values[kFirst + i * kFields],
                                     record.values[kFirst + i * kFields + kRating]);
    }
    return record;
}

TEST(StartupWatch, ALogOnsRunEntriesAreNamedAndRatedSlowestFirst) {
    if (!GetEnvironmentVariableW(L"VOSSEL_E2E_WATCH", nullptr, 0)) {
        GTEST_SKIP() << "runs alone, as the ctest entries e2e_watch_x64 and e2e_watch_x86";
    }
    const std::string traceEnd = TraceEnd();
    ASSERT_FALSE(traceEnd.empty())
        << "Wine's standard error is not a file: the record cannot be read";
    StandIns standIns(Directory(TargetExe()) + L"\\e2e-probes\\burn.exe");
    ASSERT_TRUE(standIns.ready) << "could not copy burn.exe and register it in the Run key";

    SetEnvironmentVariableW(L"WINEDEBUG", L"-all,+eventlog,fixme+advapi");
    Target target(TargetExe());
    SetEnvironmentVariableW(L"WINEDEBUG", L"-all");
    ASSERT_TRUE(target.Started()) << target.StartError();
    ASSERT_TRUE(target.WaitForPrefix("Vossel: start = ", kStartTimeoutMs)) << target.Describe();
    ASSERT_TRUE(RunLogOnEntries()) << "wineboot did not run";
    // Wine 8 answers GetProcessTimes for another process with the caller's own CPU time, so there
    // every program is rated by what Vossel itself spent: the names are still checked, the ratings
    // only where the first stand-in is read to have burnt its 1.6 s while the idle one reads less
    // than the Low threshold.
    WaitUntil([&] { return standIns.CpuMs(kStandIns[0].fileName).value_or(0) >= 1500; },
              kStepTimeoutMs);
    const bool othersRead = standIns.CpuMs(kStandIns[0].fileName).value_or(0) >= 1500 &&
                            standIns.CpuMs(kStandIns[3].fileName).value_or(1000) < 300;
    if (!othersRead)
        std::printf("[   NOTE   ] another process's CPU time cannot be read here: names only\n");

    // The watch ends 90 s after the shell's creation, which came a little before this test.
    const auto settled = target.WaitForPrefix("Vossel: settled = ", 90000 + kStartTimeoutMs);
    ASSERT_TRUE(settled) << "the watch did not end:\n" << target.Describe();
    ASSERT_TRUE(target.WaitForExit(kStepTimeoutMs)) << "no end after the watch:\n"
                                                    << target.Describe();

    const std::regex program(
        R"re(^Vossel: start-up program (.+) = (High|Medium|Low), \d+ ms CPU, \d+ bytes I/O$)re");
    Ratings lines;
    for (const DebugLine& line : target.Lines()) {
        std::smatch match;
        if (std::regex_match(line.text, match, program))
            lines.emplace_back(match[1].str(), match[2].str());
    }
    ExpectStandIns(lines, othersRead, "the debug lines:\n" + target.Describe());

    const RecordStrings strings = ReadRecord(traceEnd);
    ASSERT_TRUE(strings.error.empty()) << strings.error;
    ExpectStandIns(strings.programs, othersRead, "the event 1020 record");
    EXPECT_EQ(strings.values[kWatchField], "complete");
}

TEST(StartupWatchEnd, ALogOffAfterTheWindowHasGoneWritesWhatTheWatchHasMarkedPartial) {
    if (!GetEnvironmentVariableW(L"VOSSEL_E2E_WATCH", nullptr, 0)) {
        GTEST_SKIP() << "runs alone, as the ctest entries e2e_watch_end_x64 and e2e_watch_end_x86";
    }
    const std::string traceEnd = TraceEnd();
    ASSERT_FALSE(traceEnd.empty())
        << "Wine's standard error is not a file: the record cannot be read";
    StandIns standIns(Directory(TargetExe()) + L"\\e2e-probes\\burn.exe");
    ASSERT_TRUE(standIns.ready) << "could not copy burn.exe and register it in the Run key";

    SetEnvironmentVariableW(L"WINEDEBUG", L"-all,+eventlog,fixme+advapi");
    Target target(TargetExe());
    SetEnvironmentVariableW(L"WINEDEBUG", L"-all");
    ASSERT_TRUE(target.Started()) << target.StartError();
    ASSERT_TRUE(target.WaitForPrefix("Vossel: start = ", kStartTimeoutMs)) << target.Describe();
    ASSERT_TRUE(RunLogOnEntries()) << "wineboot did not run";
    // The window goes after 15 s; the watching, with its 90 s, goes on without it.
    ASSERT_TRUE(target.WaitForPrefix("Vossel: window gone ", 15000 + kStartTimeoutMs))
        << target.Describe();
    for (const DebugLine& line : target.Lines()) {
        ASSERT_NE(line.text.rfind("Vossel: settled = ", 0), 0u)
            << "the watch ended with the window";
    }
    HWND window = MainWindowOf(target);
    ASSERT_NE(window, nullptr) << "the hidden window is not there to be told of the log-off";

    // What Windows sends at a log-off: the question, answered yes, then the end.
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                    SMTO_ABORTIFHUNG, kStepTimeoutMs, &answer));
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE)) << "a log-off must never be held up";
    SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                        kStepTimeoutMs, &answer);
    // Written before the answer, well inside the 90 s: not the watch's own end.
    ASSERT_TRUE(target.WaitForPrefix("Vossel: settled = ", kStepTimeoutMs))
        << "nothing written at the log-off:\n"
        << target.Describe();
    ASSERT_TRUE(target.WaitForExit(kStepTimeoutMs)) << "no end after the log-off:\n"
                                                    << target.Describe();
    const RecordStrings strings = ReadRecord(traceEnd);
    ASSERT_TRUE(strings.error.empty()) << strings.error;
    EXPECT_EQ(strings.values[kWatchField], "partial");
    ExpectStandIns(strings.programs, false, "the partial event 1020 record");
}

}  // namespace
}  // namespace vossel::e2e
