#pragma once
// Reading records back from an event log channel through wevtapi, bound late: the values of each
// record only (its event data and two system properties), never a formatted message.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vossel::platform {

struct EventRecordValues {
    std::uint32_t eventId = 0;
    std::uint64_t systemTime = 0;  // TimeCreated, UTC as a FILETIME
    // The event data in order; a value that is not a string reads as empty.
    std::vector<std::wstring> values;
};

// Visits the records of the channel that the XPath query selects, newest first, until visit
// returns false or none are left. Returns 0, or the Win32 error that ended the reading (never 0
// for a failure, even where the system gave no reason).
std::uint32_t QueryEventRecordsNewestFirst(
    const wchar_t* channel, const wchar_t* query,
    const std::function<bool(const EventRecordValues& record)>& visit);

// One named value of a record, as rendered: a number (unsigned integers, and FILETIMEs or
// SYSTEMTIMEs as a FILETIME), a text (strings, and SIDs as "S-1-..."), or absent.
struct EventField {
    bool present = false;
    std::uint64_t number = 0;
    std::wstring text;
};

struct EventRecordFields {
    std::uint32_t eventId = 0;
    std::uint64_t systemTime = 0;    // TimeCreated, UTC as a FILETIME
    std::vector<EventField> fields;  // in the order of the paths asked for
};

// As above, each record rendered at the given value paths ("Event/EventData/Data[@Name='TSId']").
std::uint32_t QueryEventFieldsNewestFirst(
    const wchar_t* channel, const wchar_t* query, const std::vector<std::wstring>& paths,
    const std::function<bool(const EventRecordFields& record)>& visit);

}  // namespace vossel::platform
