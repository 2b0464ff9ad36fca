#pragma once
// The process walk and the clock readings of the boot-duration measurement.
#include <windows.h>

#include <cstdint>
#include <functional>

#include "platform/process_entry.h"
#include <string_view>

namespace vossel::platform {

// Calls visit for every process of one snapshot, in snapshot order, and always closes the
// snapshot. No snapshot, or an empty one, visits nothing.
void ForEachProcess(const std::function<void(std::uint32_t id, std::string_view exeName)>& visit);

struct ProcessClockReading {
    std::uint64_t tickCount = 0;
    SYSTEMTIME now{};
    SYSTEMTIME created{};
};

// Opens the process for a limited query and reads its creation time with the tick count and the
// current UTC time. False when there is no handle or no creation time; the handle is always closed.
bool ReadProcessClocks(std::uint32_t processId, ProcessClockReading& reading);

}  // namespace vossel::platform
