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

struct DiagnoseReadings {
    std::wstring version;
    std::wstring architecture;  // "x86" or "x64"
    StartReadings start;        // as the window's run reads them, earlier log-ons included
    StartMeasurement decision;  // DecideStart(start)
    std::vector<SourceFailure> failures;
};

// The local time's offset from UTC at a UTC instant, in minutes; nothing where unknown.
using LocalOffset = std::function<std::optional<int>(std::uint64_t utc)>;

// The whole report; lines end with "\r\n".
std::wstring ComposeDiagnoseReport(const DiagnoseReadings& readings, const LocalOffset& offset);

}  // namespace vossel
