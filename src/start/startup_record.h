#pragma once
// The record of what started with a start: the programs of its first log-on, their CPU time and
// I/O over the watched window, when the desktop settled. One event of kEventStartupPrograms per
// watched start, written when the watching ends, beside the start record of the same start.
//
// Like the start record, the format number comes first and later versions only append; every value
// is an insertion string of its own, so no name can break the reading of another value. Program i
// (0-based) takes the kProgramFields strings from kFirstProgram + i * kProgramFields.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "start/start_identity.h"
#include "start/start_record.h"

namespace vossel {

inline constexpr std::wstring_view kStartupRecordFormat = L"1";

// Programs kept in one record: the slowest.
inline constexpr std::size_t kMaxStartupPrograms = 25;
// An entry's or an image's name is cut to this many characters (with a closing "…"): a Run value's
// name may be 16,383 characters, and 25 programs must stay within the record's limits.
inline constexpr std::size_t kMaxStartupNameChars = 260;
// The event log's limit on one insertion string, in UTF-16 units.
inline constexpr std::size_t kMaxEventStringChars = 31'839;

struct StartupRecordField {
    static constexpr std::size_t kFormat = 0;
    static constexpr std::size_t kStartUtc = 1;    // the start's identity, as in the start record
    static constexpr std::size_t kStartPlace = 2;  // 100 ns on the interrupt clock
    static constexpr std::size_t kVersion = 3;
    static constexpr std::size_t kArchitecture = 4;  // "x86" or "x64"
    static constexpr std::size_t kSettledMs = 5;  // after the shell's creation; empty: not settled
    static constexpr std::size_t kSettled =
        6;  // "<n> ms after the shell" or "not within the window"
    static constexpr std::size_t kWindowsAndServicesMs = 7;  // CPU ms not attributed to a program
    static constexpr std::size_t kWatch = 8;                 // "complete", or "partial" at log-off
    static constexpr std::size_t kProgramCount = 9;          // 0 to kMaxStartupPrograms
    static constexpr std::size_t kListing = 10;  // the programs one a line, slowest first (CR LF)
    static constexpr std::size_t kFirstProgram = 11;
    static constexpr std::size_t kProgramFields = 6;
    // Within one program.
    static constexpr std::size_t kEntry = 0;  // as Task Manager names it, else the image's name
    static constexpr std::size_t kImage = 1;
    static constexpr std::size_t kCpuMs = 2;
    static constexpr std::size_t kIoBytes = 3;
    static constexpr std::size_t kRating = 4;         // "High", "Medium" or "Low"
    static constexpr std::size_t kStartOffsetMs = 5;  // its creation after the sign-in, may be < 0
};

inline constexpr std::wstring_view kWatchComplete = L"complete";
inline constexpr std::wstring_view kWatchPartial = L"partial";
inline constexpr std::wstring_view kNotSettled = L"not within the window";

// Task Manager's words, in English in every language of the record.
enum class StartupImpact { Low, Medium, High };

// Bytes as Windows counts them on screen: a KB is 1,024 bytes and an MB 1,024 KB.
inline constexpr std::uint64_t kHighImpactIoBytes = 3ULL * 1024 * 1024;
inline constexpr std::uint64_t kMediumImpactIoBytes = 300ULL * 1024;
inline constexpr std::int64_t kHighImpactCpuMs = 1000;
inline constexpr std::int64_t kMediumImpactCpuMs = 300;

// High above 1,000 ms of CPU or above 3 MB of I/O; Medium from 300 ms or from 300 KB; else Low.
StartupImpact RateStartupImpact(std::int64_t cpuMs, std::uint64_t ioBytes);
std::wstring_view StartupImpactText(StartupImpact impact);

struct StartupProgram {
    std::wstring entry;  // the start-up entry, or the image's name for a process of none
    std::wstring image;
    std::int64_t cpuMs = 0;
    std::uint64_t ioBytes = 0;
    std::int64_t startOffsetMs = 0;  // its creation after the sign-in (or the shell's creation)

    StartupImpact Impact() const { return RateStartupImpact(cpuMs, ioBytes); }
};

// Slowest first: the higher rating, then more CPU, then more I/O, then the entry's name.
bool SlowerThan(const StartupProgram& a, const StartupProgram& b);

struct StartupReport {
    StartIdentity start;
    std::optional<std::int64_t>
        settledMs;  // after the shell's creation; nothing: not within the window
    std::int64_t windowsAndServicesCpuMs = 0;
    bool partial = false;                  // the watching ended early, at log-off or shut-down
    std::vector<StartupProgram> programs;  // slowest first, at most kMaxStartupPrograms
};

// "<entry> = <High|Medium|Low>, <cpu> ms CPU, <bytes> bytes I/O": a line of the record's message
// and of the debug output.
std::wstring StartupProgramText(const StartupProgram& program);

// "<n> ms after the shell" or "not within the window".
std::wstring SettledText(const std::optional<std::int64_t>& settledMs);

// The record of a report. Its programs are taken slowest first, the slowest kMaxStartupPrograms;
// names are cut to kMaxStartupNameChars with control characters made spaces.
StartRecord ComposeStartupRecord(const StartupReport& report, std::wstring_view version,
                                 std::wstring_view architecture);

struct ReadStartupRecord {
    std::uint64_t recordTime = 0;  // the record's own time, a FILETIME
    StartupReport report;          // programs slowest first
};

// One record read back, untrusted: nothing for another event ID, an unknown format, too few
// values, a value not of its form, more than kMaxStartupPrograms programs or a rating that
// contradicts its figures. Names are cut and cleaned as when composed.
std::optional<ReadStartupRecord> ParseStartupRecord(std::uint32_t eventId, std::uint64_t systemTime,
                                                    const std::vector<std::wstring>& values);

}  // namespace vossel
