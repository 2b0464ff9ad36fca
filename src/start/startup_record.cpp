#include "start/startup_record.h"

#include <algorithm>
#include <limits>

#include "platform/number_text.h"
#include "start/start_record_format.h"

namespace vossel {
namespace {

using Field = StartupRecordField;

constexpr std::wstring_view kHigh = L"High";
constexpr std::wstring_view kMedium = L"Medium";
constexpr std::wstring_view kLow = L"Low";

// ASCII digits of an unsigned number; nothing for anything else or a value beyond 64 bits.
std::optional<std::uint64_t> ParseUnsigned(std::wstring_view text) {
    if (text.empty() || text.size() > 20) return std::nullopt;
    std::uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - L'0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// A leading minus where negative; within what 18 digits hold, as the start record writes ms.
std::optional<std::int64_t> ParseSigned(std::wstring_view text) {
    const bool negative = !text.empty() && text[0] == L'-';
    if (negative) text.remove_prefix(1);
    if (text.size() > 18) return std::nullopt;
    const auto value = ParseUnsigned(text);
    if (!value) return std::nullopt;
    const auto magnitude = static_cast<std::int64_t>(*value);
    return negative ? -magnitude : magnitude;
}

std::optional<StartupImpact> ParseImpact(std::wstring_view text) {
    if (text == kHigh) return StartupImpact::High;
    if (text == kMedium) return StartupImpact::Medium;
    if (text == kLow) return StartupImpact::Low;
    return std::nullopt;
}

// Control characters become spaces, so that a name stays on its line of the message, the list and
// the copied text; a longer name is cut, never inside a surrogate pair, and ends in "…".
std::wstring CleanName(std::wstring_view name) {
    std::wstring clean(name.substr(0, kMaxStartupNameChars + 1));
    if (clean.size() > kMaxStartupNameChars) {
        clean.resize(kMaxStartupNameChars - 1);
        if (clean.back() >= 0xD800 && clean.back() <= 0xDBFF) clean.pop_back();
        clean += L'\u2026';
    }
    for (wchar_t& c : clean) {
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029) {
            c = L' ';
        }
    }
    return clean;
}

}  // namespace

StartupImpact RateStartupImpact(std::int64_t cpuMs, std::uint64_t ioBytes) {
    if (cpuMs > kHighImpactCpuMs || ioBytes > kHighImpactIoBytes) return StartupImpact::High;
    if (cpuMs >= kMediumImpactCpuMs || ioBytes >= kMediumImpactIoBytes) {
        return StartupImpact::Medium;
    }
    return StartupImpact::Low;
}

std::wstring_view StartupImpactText(StartupImpact impact) {
    switch (impact) {
        case StartupImpact::High:
            return kHigh;
        case StartupImpact::Medium:
            return kMedium;
        case StartupImpact::Low:
            break;
    }
    return kLow;
}

bool SlowerThan(const StartupProgram& a, const StartupProgram& b) {
    const StartupImpact ratingA = a.Impact();
    const StartupImpact ratingB = b.Impact();
    if (ratingA != ratingB) return ratingA > ratingB;
    if (a.cpuMs != b.cpuMs) return a.cpuMs > b.cpuMs;
    if (a.ioBytes != b.ioBytes) return a.ioBytes > b.ioBytes;
    return a.entry < b.entry;
}

std::wstring StartupProgramText(const StartupProgram& program) {
    using platform::NumberText;
    return program.entry + L" = " + std::wstring(StartupImpactText(program.Impact())) + L", " +
           NumberText(program.cpuMs) + L" ms CPU, " + NumberText(program.ioBytes) + L" bytes I/O";
}

std::wstring SettledText(const std::optional<std::int64_t>& settledMs) {
    if (!settledMs) return std::wstring(kNotSettled);
    return platform::NumberText(*settledMs) + L" ms after the shell";
}

StartRecord ComposeStartupRecord(const StartupReport& report, std::wstring_view version,
                                 std::wstring_view architecture) {
    using platform::NumberText;
    std::vector<StartupProgram> programs = report.programs;
    for (StartupProgram& program : programs) {
        program.entry = CleanName(program.entry);
        program.image = CleanName(program.image);
    }
    std::sort(programs.begin(), programs.end(), SlowerThan);
    if (programs.size() > kMaxStartupPrograms) programs.resize(kMaxStartupPrograms);

    StartRecord record;
    record.eventId = kEventStartupPrograms;
    record.strings.resize(Field::kFirstProgram + programs.size() * Field::kProgramFields);
    record.strings[Field::kFormat] = std::wstring(kStartupRecordFormat);
    record.strings[Field::kStartUtc] = UtcText(report.start.startUtc);
    record.strings[Field::kStartPlace] = NumberText(report.start.startPlace);
    record.strings[Field::kVersion] = std::wstring(version);
    record.strings[Field::kArchitecture] = std::wstring(architecture);
    if (report.settledMs) record.strings[Field::kSettledMs] = NumberText(*report.settledMs);
    record.strings[Field::kSettled] = SettledText(report.settledMs);
    record.strings[Field::kWindowsAndServicesMs] = NumberText(report.windowsAndServicesCpuMs);
    record.strings[Field::kWatch] = std::wstring(report.partial ? kWatchPartial : kWatchComplete);
    record.strings[Field::kProgramCount] = NumberText(programs.size());
    // 25 lines of two cut names and four numbers: far within one string's limit.
    std::wstring& listing = record.strings[Field::kListing];
    for (std::size_t i = 0; i < programs.size(); ++i) {
        const StartupProgram& program = programs[i];
        if (i != 0) listing += L"\r\n";
        listing += StartupProgramText(program);
        std::wstring* fields = &record.strings[Field::kFirstProgram + i * Field::kProgramFields];
        fields[Field::kEntry] = program.entry;
        fields[Field::kImage] = program.image;
        fields[Field::kCpuMs] = NumberText(program.cpuMs);
        fields[Field::kIoBytes] = NumberText(program.ioBytes);
        fields[Field::kRating] = std::wstring(StartupImpactText(program.Impact()));
        fields[Field::kStartOffsetMs] = NumberText(program.startOffsetMs);
    }
    return record;
}

std::optional<ReadStartupRecord> ParseStartupRecord(std::uint32_t eventId, std::uint64_t systemTime,
                                                    const std::vector<std::wstring>& values) {
    if (eventId != kEventStartupPrograms || values.size() < Field::kFirstProgram ||
        values[Field::kFormat] != kStartupRecordFormat) {
        return std::nullopt;
    }
    ReadStartupRecord read;
    read.recordTime = systemTime;
    StartupReport& report = read.report;
    const auto startUtc = ParseUtcInstant(values[Field::kStartUtc]);
    const auto place = ParseUnsigned(values[Field::kStartPlace]);
    const auto others = ParseSigned(values[Field::kWindowsAndServicesMs]);
    const auto count = ParseUnsigned(values[Field::kProgramCount]);
    const std::wstring& watch = values[Field::kWatch];
    if (!startUtc || *startUtc == 0 || !place || !others || !count ||
        *count > kMaxStartupPrograms || (watch != kWatchComplete && watch != kWatchPartial) ||
        values.size() < Field::kFirstProgram + *count * Field::kProgramFields) {
        return std::nullopt;
    }
    report.start = {*startUtc, *place};
    report.windowsAndServicesCpuMs = *others;
    report.partial = watch == kWatchPartial;
    if (!values[Field::kSettledMs].empty()) {
        report.settledMs = ParseSigned(values[Field::kSettledMs]);
        if (!report.settledMs || *report.settledMs < 0) return std::nullopt;
    }
    for (std::size_t i = 0; i < *count; ++i) {
        const std::wstring* fields = &values[Field::kFirstProgram + i * Field::kProgramFields];
        const auto cpu = ParseSigned(fields[Field::kCpuMs]);
        const auto io = ParseUnsigned(fields[Field::kIoBytes]);
        const auto offset = ParseSigned(fields[Field::kStartOffsetMs]);
        const auto rating = ParseImpact(fields[Field::kRating]);
        if (!cpu || *cpu < 0 || !io || !offset || !rating || fields[Field::kEntry].empty() ||
            *rating != RateStartupImpact(*cpu, *io)) {
            return std::nullopt;
        }
        report.programs.push_back({CleanName(fields[Field::kEntry]),
                                   CleanName(fields[Field::kImage]), *cpu, *io, *offset});
    }
    std::sort(report.programs.begin(), report.programs.end(), SlowerThan);
    return read;
}

}  // namespace vossel
