#pragma once
// One line per visible change or end of the program, through the system debug output
// (DebugView on Windows, WINEDEBUG=+debugstr under Wine). The format is stable: tests read it.
#include <string_view>

namespace vossel::platform {

// Writes "Vossel: <line>".
void Report(std::wstring_view line);

}  // namespace vossel::platform
