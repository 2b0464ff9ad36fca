#pragma once
// Records in the Application event log, written under the program's event source.
#include <cstdint>
#include <string>
#include <vector>

namespace vossel::platform {

inline constexpr wchar_t kEventSource[] = L"Vossel";

// One Information record from kEventSource, with no user SID. Answers 0, or the error number:
// the system's (1722 with the event log service stopped, 5 where a policy denies writing) or
// the run-time error's when a function is missing. Never throws.
std::uint32_t WriteEventRecord(std::uint32_t eventId, const std::vector<std::wstring>& strings);

// The same, and its debug line: "event <id>" once written, "event log error <n>" where not.
void WriteEventRecordReported(std::uint32_t eventId, const std::vector<std::wstring>& strings);

// The administrator's switch: RecordStarts = 0 under HKLM\SOFTWARE\Policies\Vossel, read in the
// 64-bit view where Group Policy writes it, also from the 32-bit exe.
bool StartRecordsAllowed();

}  // namespace vossel::platform
