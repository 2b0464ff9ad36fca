#include "settings/elevated_autostart.h"

namespace vossel {
namespace {

constexpr std::wstring_view kSwitch = L"/autostart";
constexpr std::int32_t kHresultFail = static_cast<std::int32_t>(0x80004005);
constexpr std::uint32_t kErrorInvalidParameter = 87;

}  // namespace

std::wstring ElevatedAutoStartParameters(bool on) {
    return std::wstring(kSwitch) + (on ? L" on" : L" off");
}

std::vector<std::wstring> CommandLineArguments(std::wstring_view commandLine) {
    const auto isBlank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    std::size_t at = 0;
    // The program name: quoted up to the next quotation mark, or up to the first blank.
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const std::size_t close = commandLine.find(L'"', 1);
        at = close == std::wstring_view::npos ? commandLine.size() : close + 1;
    }
    while (at < commandLine.size() && !isBlank(commandLine[at])) ++at;
    std::vector<std::wstring> args;
    while (at < commandLine.size()) {
        while (at < commandLine.size() && isBlank(commandLine[at])) ++at;
        const std::size_t start = at;
        while (at < commandLine.size() && !isBlank(commandLine[at])) ++at;
        if (at > start) args.emplace_back(commandLine.substr(start, at - start));
    }
    return args;
}

std::optional<bool> ParseElevatedAutoStart(const std::vector<std::wstring>& args) {
    if (args.size() != 2 || args[0] != kSwitch) return std::nullopt;
    if (args[1] == L"on") return true;
    if (args[1] == L"off") return false;
    return std::nullopt;
}

ElevatedExit ElevatedExitFor(const AutoStartResult& result) {
    if (result.succeeded) return ElevatedExit::kDone;
    return result.errorNumber == platform::kHresultAccessDenied ? ElevatedExit::kRefused
                                                                : ElevatedExit::kFailed;
}

platform::CallStatus ElevatedExitStatus(std::uint32_t exitCode) {
    switch (static_cast<ElevatedExit>(exitCode)) {
        case ElevatedExit::kDone:
            return {};
        case ElevatedExit::kUsage:
            return {platform::HresultFromWin32(kErrorInvalidParameter), {}};
        case ElevatedExit::kNotMachineScope:
        case ElevatedExit::kRefused:
            return {platform::kHresultAccessDenied, {}};
        case ElevatedExit::kFailed:
            break;
    }
    // A status code of a crash (0xC0000005...) is an HRESULT-shaped failure already.
    const auto asHresult = static_cast<std::int32_t>(exitCode);
    return {asHresult < 0 ? asHresult : kHresultFail, {}};
}

}  // namespace vossel
