#pragma once
// The start record that each run writes to the Application event log, as its readers see it: the
// source, the event IDs and the order of the insertion strings. Later versions only append
// strings, so a reader takes the ones it knows by position and ignores the rest.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vossel {


inline constexpr std::uint32_t kEventFullBoot = 1001;
inline constexpr std::uint32_t kEventResume = 1002;
inline constexpr std::uint32_t kEventNotMeasured = 1010;
// What started with a watched start; its strings are in start/startup_record.h.
inline constexpr std::uint32_t kEventStartupPrograms = 1020;

inline constexpr std::wstring_view kRecordFormat = L"2";

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
    // Format 2 on.
    static constexpr std::size_t kLogonKind = 8;       // "first log-on", "later log-on", "remote session"
    static constexpr std::size_t kWindowsStartMs = 9;  // the start to the sign-in screen; empty if unknown
    static constexpr std::size_t kSignInWaitMs = 10;   // the wait at the sign-in screen; empty if unknown
    static constexpr std::size_t kSigningInMs = 11;    // the sign-in to the shell; empty if unknown
    static constexpr std::size_t kWait = 12;           // "excluded" or "included"
    static constexpr std::size_t kWaitReason = 13;     // why included, else empty
    static constexpr std::size_t kSignInScreenUtc = 14;  // empty when unknown
    static constexpr std::size_t kSignedInUtc = 15;      // empty when unknown
    static constexpr std::size_t kStartPlace = 16;  // 100 ns on the interrupt clock: 0, or the wake's
    static constexpr std::size_t kCount = 17;
    static constexpr std::size_t kFormat1Count = 8;
};

inline constexpr std::wstring_view kKindFullBoot = L"full boot";
inline constexpr std::wstring_view kKindResume = L"resume";
inline constexpr std::wstring_view kKindNotMeasured = L"not measured";

inline constexpr std::wstring_view kLogonFirst = L"first log-on";
inline constexpr std::wstring_view kLogonLater = L"later log-on";
inline constexpr std::wstring_view kLogonRemote = L"remote session";

inline constexpr std::wstring_view kWaitExcluded = L"excluded";
inline constexpr std::wstring_view kWaitIncluded = L"included";

}  // namespace vossel
