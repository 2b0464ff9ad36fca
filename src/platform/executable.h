#pragma once
#include <string>

namespace vossel::platform {

// The full path of the running program file, as GetModuleFileNameW gives it (any length).
std::wstring ExecutablePath();

// Starts this exe again as a new process with these parameters; false when it could not start.
bool StartThisExe(const std::wstring& parameters);

// The user's decimal separator from the regional settings ("." when it cannot be read).
std::wstring UserDecimalSeparator();

}  // namespace vossel::platform
