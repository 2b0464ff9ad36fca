#pragma once
// What the System log tells of a start: the changes of the system time (Kernel-General 1) and
// Winlogon's log-on and log-off notifications (7001, 7002). The System log grants read access to
// interactive users. Each reader waits on the event log service: call it off the window's thread.
// Each answers 0, or the Win32 error that ended the reading (what was read before it is kept).
#include <cstdint>
#include <string>
#include <vector>

namespace vossel::platform {

// A change of the system time, as the kernel logged it. Times are FILETIMEs (UTC), 0 when the
// record lacks them.
struct ClockChangeEvent {
    std::uint64_t eventUtc = 0;  // the record's own time, on the clock after the change
    std::uint64_t oldUtc = 0;    // OldTime: the clock just before the change
    std::uint64_t newUtc = 0;    // NewTime: the clock just after it
    std::uint32_t reason = 0;    // Reason: 1 a program set it, 2 the hardware clock (boot, resume)
};

// Kernel-General 1 since sinceUtc, newest first, at most maxRecords.
std::uint32_t ReadClockChanges(std::uint64_t sinceUtc, int maxRecords,
                               std::vector<ClockChangeEvent>& changes);

struct WinlogonEvent {
    std::uint32_t eventId = 0;   // 7001 log-on, 7002 log-off
    std::uint64_t eventUtc = 0;  // the record's time
    bool hasSessionId = false;
    std::uint32_t sessionId = 0;  // TSId
    std::wstring userSid;         // UserSid, "S-1-..."; empty when absent
};

// Winlogon 7001 and 7002 since sinceUtc, newest first, at most maxRecords.
std::uint32_t ReadWinlogonEvents(std::uint64_t sinceUtc, int maxRecords,
                                 std::vector<WinlogonEvent>& events);

// "TimeCreated[@SystemTime>='2026-12-08T07:59:12.345Z']", for an XPath query.
std::wstring EventTimeFilter(std::uint64_t sinceUtc);

}  // namespace vossel::platform
