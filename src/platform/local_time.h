#pragma once
// Instants shown to the user in the local time and the user's own formats.
#include <cstdint>
#include <string>

namespace vossel::platform {

// A UTC instant (a FILETIME) as local date and time in the user's short date and short time
// formats, with the time zone's rules for that date; empty when it cannot be converted.
std::wstring LocalShortDateTime(std::uint64_t utcFileTime);

}  // namespace vossel::platform
