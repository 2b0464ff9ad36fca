#pragma once
#include <string>

namespace vossel::platform {

// The full path of the running program file, as GetModuleFileNameW gives it (any length).
std::wstring ExecutablePath();

// The user's decimal separator from the regional settings ("." when it cannot be read).
std::wstring UserDecimalSeparator();

}  // namespace vossel::platform
