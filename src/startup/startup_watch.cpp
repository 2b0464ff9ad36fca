#include "startup/startup_watch.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/debug_output.h"
#include "platform/event_log.h"
#include "platform/number_text.h"
#include "platform/process_watch.h"
#include "platform/runtime_error.h"
#include "platform/startup_entries.h"
#include "start/start_record_format.h"
#include "start/startup_record.h"
#include "startup/settling.h"
#include "startup/startup_attribution.h"
#include "version_numbers.h"

namespace vossel {
namespace {

constexpr std::wstring_view kArchitecture = sizeof(void*) == 8 ? L"x64" : L"x86";
// One copy watches a session; a second one started meanwhile finds this and does not.
constexpr wchar_t kWatchMutex[] = L"Local\\VosselStartupWatch";
// The processes are looked at every tenth sample of the processors: once a second.
constexpr int kProcessSampleEvery = 10;
// Bounds what a runaway session could make the watcher keep: handles and readings.
constexpr std::size_t kMaxWatchedProcesses = 4096;
// At the session's end the record must be out before Windows ends the process.
constexpr DWORD kEndNowWaitMs = 4000;

std::uint64_t NowUtc() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
}

std::vector<StartupEntry> StartupEntries() {
    std::vector<StartupEntry> entries;
    for (platform::StartupItem& item : platform::ReadStartupItems()) {
        using Kind = platform::StartupItem::Kind;
        std::wstring image = item.kind == Kind::kPath         ? item.command
                             : item.kind == Kind::kTaskAction ? ImageOfTaskAction(item.command)
                                                              : ImageOfCommand(item.command);
        if (!image.empty()) entries.push_back({std::move(item.name), std::move(image)});
    }
    return entries;
}

// The display names of the packaged apps seen, read once the watching is over.
std::vector<PackageName> PackageNames(const std::vector<WatchedProcess>& processes) {
    std::vector<PackageName> names;
    std::set<std::wstring> asked;
    for (const WatchedProcess& process : processes) {
        if (process.packageFamily.empty() || !asked.insert(process.packageFamily).second) continue;
        const auto manifest = platform::ReadPackageManifest(process.packageFamily);
        if (!manifest) continue;
        const std::wstring reference =
            PackageResourceReference(manifest->fullName, manifest->displayName);
        std::wstring shown =
            reference.empty() ? manifest->displayName : platform::LoadIndirectText(reference);
        if (!shown.empty()) names.push_back({process.packageFamily, std::move(shown)});
    }
    return names;
}

struct Tracked {
    platform::WatchedProcessHandle handle;
    WatchedProcess facts;
    bool ended = false;  // its final times are read
};

}  // namespace

struct StartupWatch::State {
    WatchPlan plan;
    HWND owner = nullptr;
    UINT message = 0;
    HANDLE stop = nullptr;

    std::uint32_t session = 0;
    std::map<std::uint32_t, Tracked> tracked;  // by id: a kept handle keeps an id from reuse
    std::set<std::uint32_t> unopened;          // of the last snapshot, less the ids gone since
    std::vector<std::uint32_t> listed;         // the last cheap look, its storage kept

    bool AnyNewProcess();
    void SampleProcesses();
    void ReadTracked();
    void Watch();
    static void Write(const StartupReport& report);
};

bool StartupWatch::State::AnyNewProcess() {
    // Without the cheap listing every look takes the snapshot.
    if (!platform::ListProcessIds(listed)) return true;
    bool anyNew = false;
    for (const std::uint32_t id : listed) {
        if (!tracked.count(id) && !unopened.count(id)) {
            anyNew = true;
            break;
        }
    }
    if (!anyNew) {
        // An id that has gone may come back as another process, which is then new.
        std::sort(listed.begin(), listed.end());
        std::erase_if(unopened, [this](std::uint32_t id) {
            return !std::binary_search(listed.begin(), listed.end(), id);
        });
    }
    return anyNew;
}

void StartupWatch::State::SampleProcesses() {
    // Once a second, and most looks find nothing new: the snapshot, with the parents, and the
    // opening are only for when a new id has appeared.
    if (tracked.size() >= kMaxWatchedProcesses || !AnyNewProcess()) return;
    std::set<std::uint32_t> unopenedNow;
    for (const platform::ProcessSighting& sighting : platform::SnapshotProcesses()) {
        if (tracked.count(sighting.id) || tracked.size() >= kMaxWatchedProcesses) continue;
        if (unopened.count(sighting.id)) {
            unopenedNow.insert(sighting.id);
            continue;
        }
        auto handle = platform::WatchedProcessHandle::Open(sighting.id, session);
        const auto reading = handle ? handle->Read() : std::nullopt;
        if (!reading) {
            unopenedNow.insert(sighting.id);
            continue;
        }
        Tracked process{std::move(*handle), {}, false};
        process.facts.id = sighting.id;
        process.facts.parentId = sighting.parentId;
        process.facts.createdUtc = reading->createdUtc;
        process.facts.image = process.handle.Image();
        process.facts.packageFamily = process.handle.PackageFamily();
        process.facts.first = {reading->cpu100ns, reading->ioBytes};
        process.facts.last = process.facts.first;
        process.ended = reading->exited;
        tracked.emplace(sighting.id, std::move(process));
    }
    unopened = std::move(unopenedNow);
}

void StartupWatch::State::ReadTracked() {
    // The kept handles still answer for a process that has ended, with its final times, so the
    // last readings are taken once, at the end of the window.
    for (auto& [id, process] : tracked) {
        if (process.ended) continue;
        if (const auto reading = process.handle.Read()) {
            process.facts.last = {reading->cpu100ns, reading->ioBytes};
            process.ended = reading->exited;
        }
    }
}

void StartupWatch::State::Watch() {
    platform::EnterBackgroundMode();
    const platform::ThreadComApartment apartment;
    session = platform::CurrentSessionId();
    const std::vector<StartupEntry> entries = StartupEntries();

    SettleClock settle(plan.shellCreatedUtc);
    const std::uint64_t firstUtc = NowUtc();
    const auto firstTimes = platform::ReadSystemTimes();
    auto previousTimes = firstTimes;
    std::uint64_t previousTick = ::GetTickCount64();
    bool partial = false;
    SampleProcesses();
    for (int sample = 1;; ++sample) {
        if (::WaitForSingleObject(stop, static_cast<DWORD>(kSettleSampleMs)) == WAIT_OBJECT_0) {
            partial = true;
            break;
        }
        const std::uint64_t now = NowUtc();
        const std::uint64_t tick = ::GetTickCount64();
        const auto times = platform::ReadSystemTimes();
        if (times && previousTimes) {
            settle.Add(now, static_cast<std::int64_t>(tick - previousTick),
                       times->idle100ns - previousTimes->idle100ns,
                       (times->kernel100ns - previousTimes->kernel100ns) +
                           (times->user100ns - previousTimes->user100ns));
        }
        previousTimes = times;
        previousTick = tick;
        if (now >= plan.windowEndUtc) break;
        if (sample % kProcessSampleEvery == 0) SampleProcesses();
    }
    SampleProcesses();
    ReadTracked();

    std::vector<WatchedProcess> processes;
    for (const auto& [id, process] : tracked) processes.push_back(process.facts);
    StartupReport report;
    report.start = plan.start;
    report.settledMs = settle.SettledMs();
    report.partial = partial;
    if (firstTimes && previousTimes) {
        const auto busy = [](const platform::SystemTimesReading& t) {
            return t.kernel100ns + t.user100ns - t.idle100ns;
        };
        const std::uint64_t before = busy(*firstTimes), after = busy(*previousTimes);
        report.windowsAndServicesCpuMs =
            WindowsAndServicesMs(after > before ? after - before : 0, processes, firstUtc);
    }
    // At the session's end there is no time to read manifests: families it is.
    report.programs =
        AttributeStartup(processes, entries, plan.windowStartUtc,
                         partial ? std::vector<PackageName>{} : PackageNames(processes));
    if (report.programs.size() > kMaxStartupPrograms) report.programs.resize(kMaxStartupPrograms);
    Write(report);
}

void StartupWatch::State::Write(const StartupReport& report) {
    for (const StartupProgram& program : report.programs) {
        platform::Report(L"start-up program " + StartupProgramText(program));
    }
    platform::Report(L"settled = " + SettledText(report.settledMs));
    const StartRecord record = ComposeStartupRecord(report, VOSSEL_VERSION_FULL, kArchitecture);
    platform::WriteEventRecordReported(record.eventId, record.strings);
}

namespace {

DWORD WINAPI WatchThread(LPVOID parameter) {
    auto* state = static_cast<StartupWatch::State*>(parameter);
    // Nothing is written of a watching that failed (a function this Windows lacks, no memory);
    // the program ends as it would have without one.
    try {
        state->Watch();
    } catch (const platform::RuntimeError& error) {
        platform::Report(L"event log error " + platform::NumberText(error.Number()));
    } catch (...) {
        platform::Report(L"event log error " + platform::NumberText(ERROR_OUTOFMEMORY));
    }
    ::PostMessageW(state->owner, state->message, 0, 0);
    return 0;
}

}  // namespace

StartupWatch::StartupWatch() = default;
StartupWatch::~StartupWatch() { EndNow(); }

void StartupWatch::Start(const WatchPlan& plan, HWND owner, UINT message) {
    if (state_) return;
    platform::UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, kWatchMutex));
    if (!mutex || ::GetLastError() == ERROR_ALREADY_EXISTS) return;
    platform::UniqueHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop) return;
    // What the thread shares with this one is bound here, before it runs.
    platform::BindStartupReadingFunctions();
    auto state = std::make_unique<State>();
    state->plan = plan;
    state->owner = owner;
    state->message = message;
    state->stop = stop.Get();
    HANDLE thread = ::CreateThread(nullptr, 0, &WatchThread, state.get(), 0, nullptr);
    if (!thread) return;
    thread_ = platform::UniqueHandle(thread);
    stop_ = std::move(stop);
    oneCopy_ = std::move(mutex);
    state_ = std::move(state);
}

bool StartupWatch::Running() const {
    return thread_ && ::WaitForSingleObject(thread_.Get(), 0) == WAIT_TIMEOUT;
}

void StartupWatch::EndNow() {
    if (!Running()) return;
    ::SetEvent(stop_.Get());
    if (::WaitForSingleObject(thread_.Get(), kEndNowWaitMs) == WAIT_TIMEOUT) {
        // Still reading: its state must outlive it, and the process ends soon after anyway.
        state_.release();
    }
}

}  // namespace vossel
