#pragma once
// The start record of one run: its event ID and insertion strings, composed from the measurement
// that gave the caption, so the record never contradicts what the user saw.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mainwindow/start_measurement.h"

namespace vossel {

struct StartRecord {
    std::uint32_t eventId = 0;
    std::vector<std::wstring> strings;  // in the order of StartRecordField
};

// version is the program's version; architecture "x86" or "x64".
StartRecord ComposeStartRecord(const StartMeasurement& measurement, std::wstring_view version,
                               std::wstring_view architecture);

// A FILETIME (UTC, 100 ns units since 1601) as ISO 8601 with milliseconds and a Z:
// 2026-12-08T07:59:12.345Z. The sub-millisecond part is dropped, not rounded. 0 gives "".
std::wstring UtcText(std::uint64_t filetime);

}  // namespace vossel
