#pragma once
// The elevated copy of the exe that changes the machine-wide entry when the settings window may
// not: its closed argument set, and the exit codes that tell the settings window what happened.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/call_status.h"
#include "settings/autostart.h"

namespace vossel {

enum class ElevatedExit : std::uint32_t {
    kDone = 0,             // the entry is as asked
    kUsage = 1,            // not one of the two accepted forms; nothing was done
    kNotMachineScope = 2,  // others than administrators can change the exe; nothing was done
    kRefused = 3,          // access denied even so
    kFailed = 4,           // any other failure
};

// The parameters that the settings window passes: "/autostart on" or "/autostart off".
std::wstring ElevatedAutoStartParameters(bool on);

// The arguments after the program name, split at blanks. Quotation marks stay as they are, so
// that a quoted argument never passes for one of the two forms.
std::vector<std::wstring> CommandLineArguments(std::wstring_view commandLine);

// args: the command line's arguments after the program name. Exactly {"/autostart", "on"} or
// {"/autostart", "off"}, case as written; anything else is nothing.
std::optional<bool> ParseElevatedAutoStart(const std::vector<std::wstring>& args);

ElevatedExit ElevatedExitFor(const AutoStartResult& result);

// How the settings window reports an exit code of the elevated copy: success for kDone, otherwise
// the HRESULT to show (a crash's status code too). The description is left to the system's text.
platform::CallStatus ElevatedExitStatus(std::uint32_t exitCode);

}  // namespace vossel
