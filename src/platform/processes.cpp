#include "platform/processes.h"

#include <iterator>
#include <string>

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
    std::string name;
    do {
        // The name in single bytes: ASCII as it is, anything else a '?', which no shell name holds.
        name.clear();
        for (std::size_t i = 0; i < std::size(entry.szExeFile) && entry.szExeFile[i] != L'\0';
             ++i) {
            const wchar_t c = entry.szExeFile[i];
            name += c < 0x80 ? static_cast<char>(c) : '?';
        }
        visit(entry.th32ProcessID, name);
    } while (api::Process32Next(snapshot.Get(), &entry));
}

std::uint32_t ShellWindowProcessId() {
    const auto getShellWindow = api::GetShellWindow.Find();
    if (!getShellWindow) return 0;
    HWND shell = getShellWindow();
    if (!shell) return 0;
    DWORD processId = 0;
    api::GetWindowThreadProcessId(shell, &processId);
    return processId;
}

bool InCurrentSession(std::uint32_t processId) {
    DWORD own = 0, other = 0;
    return api::ProcessIdToSessionId(::GetCurrentProcessId(), &own) &&
           api::ProcessIdToSessionId(processId, &other) && own == other;
}

std::optional<std::uint64_t> ReadProcessCreationTime(std::uint32_t processId) {
    api::CloseHandle.Get();
    // Limited query access is all that reading the times needs, and it is granted where full
    // access is refused (an elevated shell, another session).
    const UniqueLateBoundHandle process =
        Own(api::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return std::nullopt;

    FILETIME creation{}, exit{}, kernel{}, user{};
    if (!api::GetProcessTimes(process.Get(), &creation, &exit, &kernel, &user)) return std::nullopt;
    const std::uint64_t created =
        (std::uint64_t{creation.dwHighDateTime} << 32) | creation.dwLowDateTime;
    // A zero time would read as the year 1601.
    if (created == 0) return std::nullopt;
    return created;
}

}  // namespace vossel::platform
