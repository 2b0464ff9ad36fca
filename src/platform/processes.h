#pragma once
// The shell lookup and the process walk of the boot-duration measurement.
#include <windows.h>

#include <cstdint>
#include <functional>

#include <optional>
#include <string_view>

#include "platform/process_entry.h"

namespace vossel::platform {

// Calls visit for every process of one snapshot (its name's non-ASCII characters as '?'), in
// snapshot order, and always closes the snapshot. No snapshot, or an empty one, visits nothing.
void ForEachProcess(const std::function<void(std::uint32_t id, std::string_view exeName)>& visit);

// The process that owns the shell window (the desktop); 0 when there is none.
std::uint32_t ShellWindowProcessId();

// Whether the process runs in this program's session; false when that cannot be told.
bool InCurrentSession(std::uint32_t processId);

// Opens the process for a limited query and reads its creation time (UTC, a FILETIME as one
// number). Nothing when there is no handle or no creation time; the handle is always closed.
std::optional<std::uint64_t> ReadProcessCreationTime(std::uint32_t processId);

}  // namespace vossel::platform
