#pragma once
// The start record that each run writes to the Application event log, as its readers see it: the
// source, the event IDs and the order of the insertion strings. Later versions only append
// strings, so a reader takes the ones it knows by position and ignores the rest.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vossel::platform {

inline constexpr wchar_t kEventSource[] = L"Vossel";

inline constexpr std::uint32_t kEventFullBoot = 1001;
inline constexpr std::uint32_t kEventResume = 1002;
inline constexpr std::uint32_t kEventNotMeasured = 1010;

inline constexpr std::wstring_view kRecordFormat = L"1";

// The insertion strings by position: %1 is kFormat.
struct StartRecordField {
    static constexpr std::size_t kFormat = 0;
    static constexpr std::size_t kDurationMs = 1;    // whole ms, "-" when negative; empty if not measured
    static constexpr std::size_t kKind = 2;          // "full boot", "resume" or "not measured"
    static constexpr std::size_t kReason = 3;        // why not measured, else empty
    static constexpr std::size_t kStartUtc = 4;      // 2026-12-08T07:59:12.345Z; empty if not measured
    static constexpr std::size_t kShellCreatedUtc = 5;  // same form; empty when unknown
    static constexpr std::size_t kVersion = 6;
    static constexpr std::size_t kArchitecture = 7;  // "x86" or "x64"
    static constexpr std::size_t kCount = 8;
};

inline constexpr std::wstring_view kKindFullBoot = L"full boot";
inline constexpr std::wstring_view kKindResume = L"resume";
inline constexpr std::wstring_view kKindNotMeasured = L"not measured";

}  // namespace vossel::platform
