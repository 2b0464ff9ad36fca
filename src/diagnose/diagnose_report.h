#pragma once
// The "/diagnose" report: everything one run reads and decides, as plain English text for a bug
// report. Composed from the readings alone, so that the text is the same on every PC.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "start/start_measurement.h"
#include "start/start_readings.h"

namespace vossel {

// A source that could not be read, with the system's reason.
struct SourceFailure {
    std::wstring source;     // "session manager", "System log", ...
    std::uint32_t code = 0;  // the Win32 error
    std::wstring message;    // FormatMessage's text for it; may be empty
};

// Windows' own boot diagnostics: one Diagnostics-Performance event 100, its durations in ms.
struct BootDiagnosticsEvent {
    std::uint64_t writtenUtc = 0;    // TimeCreated
    std::uint64_t bootStartUtc = 0;  // BootStartTime; 0 where the event has none
    std::optional<std::int64_t> bootTimeMs;
    std::optional<std::int64_t> mainPathBootTimeMs;
    std::optional<std::int64_t> bootPostBootTimeMs;
    std::optional<std::int64_t> userLogonWaitMs;  // written by later versions only
};

struct BootDiagnostics {
    bool read = false;
    SourceFailure failure;                     // where not read
    std::vector<BootDiagnosticsEvent> events;  // newest first
};

// Its event must have started within this of Vossel's start to be the same boot.
inline constexpr std::uint64_t kBootEventMatch = 120ull * 10'000'000;

// The event of this start among those read, or null: after a full boot, the one whose boot start
// lies nearest Vossel's start, within kBootEventMatch; an event without a boot start, the first
// written after the start. A wake has none: the event describes boots.
const BootDiagnosticsEvent* MatchBootEvent(const BootDiagnostics& diagnostics,
                                           const StartMeasurement& decision);

struct DiagnoseReadings {
    std::wstring version;
    std::wstring architecture;  // "x86" or "x64"
    StartReadings start;        // as the window's run reads them, earlier log-ons included
    StartMeasurement decision;  // DecideStart(start)
    BootDiagnostics bootDiagnostics;
    std::vector<SourceFailure> failures;
};

// The local time's offset from UTC at a UTC instant, in minutes; nothing where unknown.
using LocalOffset = std::function<std::optional<int>(std::uint64_t utc)>;

// The whole report; lines end with "\r\n".
std::wstring ComposeDiagnoseReport(const DiagnoseReadings& readings, const LocalOffset& offset);

}  // namespace vossel
