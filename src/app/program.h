#pragma once
// The program-wide ways of ending.
#include <string_view>

#include "platform/runtime_error.h"

namespace vossel {

// Ends the program at once: no unload handler runs and no further event is delivered.
// The reason goes to the debug output as "end <reason>".
[[noreturn]] void EndProgram(std::wstring_view reason);

// The top level's answer to a run-time error that no handler traps: the standard message, then
// the end with a non-zero exit code. The dispatch boundary has already stopped every handler.
[[noreturn]] void ReportRuntimeError(const platform::RuntimeError& error) noexcept;

}  // namespace vossel
