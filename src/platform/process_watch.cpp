#include "platform/process_watch.h"

#include <windows.h>
#include <tlhelp32.h>

#include "platform/late_bound.h"

namespace vossel::platform {
namespace {

// Windows 8 and later; absent, no process is of a package.
LateBound<LONG(WINAPI*)(HANDLE, UINT32*, PWSTR)> GetPackageFamilyName{L"kernel32.dll",
                                                                      "GetPackageFamilyName"};
LateBound<decltype(&::GetProcessIoCounters)> GetProcessIoCounters{L"kernel32.dll",
                                                                  "GetProcessIoCounters"};
LateBound<decltype(&::QueryFullProcessImageNameW)> QueryFullProcessImageNameW{
    L"kernel32.dll", "QueryFullProcessImageNameW"};
LateBound<decltype(&::GetSystemTimes)> GetSystemTimes{L"kernel32.dll", "GetSystemTimes"};
// kernel32's own copy from Windows 7 on; before it, only psapi's.
using EnumProcessesFunction = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
LateBound<EnumProcessesFunction> KernelEnumProcesses{L"kernel32.dll", "K32EnumProcesses"};
LateBound<EnumProcessesFunction> PsapiEnumProcesses{L"psapi.dll", "EnumProcesses"};

std::uint64_t Value(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

}  // namespace

std::vector<ProcessSighting> SnapshotProcesses() {
    std::vector<ProcessSighting> sightings;
    // Called directly, not through the late-bound walk of the shell lookup: this runs on the
    // watcher's thread, and the bindings are the user-interface thread's.
    HANDLE raw = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (raw == INVALID_HANDLE_VALUE) return sightings;
    const UniqueHandle snapshot(raw);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(raw, &entry); more; more = ::Process32NextW(raw, &entry)) {
        sightings.push_back({entry.th32ProcessID, entry.th32ParentProcessID});
    }
    return sightings;
}

bool ListProcessIds(std::vector<std::uint32_t>& ids) {
    static_assert(sizeof(DWORD) == sizeof(std::uint32_t));
    EnumProcessesFunction enumProcesses = KernelEnumProcesses.Find();
    if (!enumProcesses) enumProcesses = PsapiEnumProcesses.Find();
    if (!enumProcesses) return false;
    if (ids.size() < 512) ids.resize(512);
    // A full buffer may have cut the list short: the call tells no total, so grow and ask again.
    for (;;) {
        const DWORD capacity = static_cast<DWORD>(ids.size() * sizeof(DWORD));
        DWORD used = 0;
        if (!enumProcesses(reinterpret_cast<DWORD*>(ids.data()), capacity, &used)) return false;
        if (used < capacity || ids.size() >= 65536) {
            ids.resize(used / sizeof(DWORD));
            return true;
        }
        ids.resize(ids.size() * 2);
    }
}

std::optional<WatchedProcessHandle> WatchedProcessHandle::Open(std::uint32_t processId,
                                                               std::uint32_t sessionId) {
    DWORD session = 0;
    if (!::ProcessIdToSessionId(processId, &session) || session != sessionId) return std::nullopt;
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) return std::nullopt;
    WatchedProcessHandle handle;
    handle.process_ = UniqueHandle(process);
    return handle;
}

std::optional<ProcessTimesReading> WatchedProcessHandle::Read() const {
    FILETIME creation{}, exit{}, kernel{}, user{};
    if (!::GetProcessTimes(process_.Get(), &creation, &exit, &kernel, &user)) return std::nullopt;
    ProcessTimesReading reading;
    reading.createdUtc = Value(creation);
    reading.exited = Value(exit) != 0;
    reading.cpu100ns = static_cast<std::int64_t>(Value(kernel) + Value(user));
    IO_COUNTERS io{};
    if (GetProcessIoCounters(process_.Get(), &io)) {
        reading.ioBytes = io.ReadTransferCount + io.WriteTransferCount + io.OtherTransferCount;
    }
    return reading;
}

std::wstring WatchedProcessHandle::Image() const {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(path.size());
        if (QueryFullProcessImageNameW(process_.Get(), 0, path.data(), &size)) {
            path.resize(size);
            return path;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

std::wstring WatchedProcessHandle::PackageFamily() const {
    const auto getFamily = GetPackageFamilyName.Find();
    if (!getFamily) return {};
    UINT32 length = 0;
    // APPMODEL_ERROR_NO_PACKAGE for an ordinary process; ERROR_INSUFFICIENT_BUFFER gives the
    // length.
    if (getFamily(process_.Get(), &length, nullptr) != ERROR_INSUFFICIENT_BUFFER || length == 0) {
        return {};
    }
    std::wstring family(length, L'\0');
    if (getFamily(process_.Get(), &length, family.data()) != ERROR_SUCCESS) return {};
    family.resize(family.find(L'\0') == std::wstring::npos ? family.size() : family.find(L'\0'));
    return family;
}

std::uint32_t CurrentSessionId() {
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    return session;
}

std::optional<SystemTimesReading> ReadSystemTimes() {
    FILETIME idle{}, kernel{}, user{};
    if (!GetSystemTimes(&idle, &kernel, &user)) return std::nullopt;
    return SystemTimesReading{Value(idle), Value(kernel), Value(user)};
}

void EnterBackgroundMode() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN);
}

}  // namespace vossel::platform
