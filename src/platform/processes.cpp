#include "platform/processes.h"

#include <cstring>

#include "platform/system_api.h"

namespace vossel::platform {
namespace {

// Closes a kernel handle through the late-bound CloseHandle. The binding is made before the
// handle exists, so a missing export can never leave a handle open.
class KernelHandle {
  public:
    KernelHandle() { api::CloseHandle.Get(); }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    ~KernelHandle() {
        if (handle_ && handle_ != INVALID_HANDLE_VALUE) api::CloseHandle.Get()(handle_);
    }
    void Reset(HANDLE handle) { handle_ = handle; }
    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE handle_ = nullptr;
};

}  // namespace

void ForEachProcess(const std::function<void(std::uint32_t, std::string_view)>& visit) {
    KernelHandle snapshot;
    snapshot.Reset(api::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.Valid()) return;

    ProcessEntry entry{};
    entry.dwSize = sizeof(entry);
    if (!api::Process32First(snapshot.Get(), &entry)) return;
    do {
        entry.szExeFile[sizeof(entry.szExeFile) - 1] = '\0';
        visit(entry.th32ProcessID, std::string_view(entry.szExeFile, std::strlen(entry.szExeFile)));
    } while (api::Process32Next(snapshot.Get(), &entry));
}

bool ReadProcessClocks(std::uint32_t processId, ProcessClockReading& reading) {
    KernelHandle process;
    // Limited query access is all that reading the times needs, and it is granted where full
    // access is refused (an elevated shell, another session).
    process.Reset(api::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process.Valid()) return false;

    FILETIME creation{}, exit{}, kernel{}, user{};
    const BOOL gotTimes = api::GetProcessTimes(process.Get(), &creation, &exit, &kernel, &user);
    reading.tickCount = api::GetTickCount64();
    api::GetSystemTime(&reading.now);
    api::FileTimeToSystemTime(&creation, &reading.created);
    // Without a creation time there is nothing to measure; a zero time would read as the year 1601.
    return gotTimes && (creation.dwLowDateTime || creation.dwHighDateTime);
}

}  // namespace vossel::platform
