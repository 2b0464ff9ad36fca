#include "platform/processes.h"

#include <cstring>

#include "platform/system_api.h"
#include "platform/unique_handle.h"

namespace vossel::platform {
namespace {

// Closes through the late-bound CloseHandle. The program's handles are taken only after it has
// been bound, so a missing export can never leave one open.
struct CloseLateBoundHandle {
    void operator()(HANDLE handle) const { api::CloseHandle.Get()(handle); }
};
using UniqueLateBoundHandle = UniqueAny<HANDLE, CloseLateBoundHandle>;

// Snapshots answer INVALID_HANDLE_VALUE on failure, processes NULL: both mean no handle.
UniqueLateBoundHandle Own(HANDLE handle) {
    return UniqueLateBoundHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

}  // namespace

void ForEachProcess(const std::function<void(std::uint32_t, std::string_view)>& visit) {
    api::CloseHandle.Get();
    const UniqueLateBoundHandle snapshot =
        Own(api::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return;

    ProcessEntry entry{};
    entry.dwSize = sizeof(entry);
    if (!api::Process32First(snapshot.Get(), &entry)) return;
    do {
        entry.szExeFile[sizeof(entry.szExeFile) - 1] = '\0';
        visit(entry.th32ProcessID, std::string_view(entry.szExeFile, std::strlen(entry.szExeFile)));
    } while (api::Process32Next(snapshot.Get(), &entry));
}

bool ReadProcessClocks(std::uint32_t processId, ProcessClockReading& reading) {
    api::CloseHandle.Get();
    // Limited query access is all that reading the times needs, and it is granted where full
    // access is refused (an elevated shell, another session).
    const UniqueLateBoundHandle process =
        Own(api::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return false;

    FILETIME creation{}, exit{}, kernel{}, user{};
    const BOOL gotTimes = api::GetProcessTimes(process.Get(), &creation, &exit, &kernel, &user);
    reading.tickCount = api::GetTickCount64();
    api::GetSystemTime(&reading.now);
    api::FileTimeToSystemTime(&creation, &reading.created);
    // Without a creation time there is nothing to measure; a zero time would read as the year 1601.
    return gotTimes && (creation.dwLowDateTime || creation.dwHighDateTime);
}

}  // namespace vossel::platform
