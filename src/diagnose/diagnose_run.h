#pragma once
// "Vossel.exe /diagnose": reads what a run reads, decides as it decides, and writes the report to
// standard output when that is a file or a pipe, or else shows it in a small window. It writes no
// record and changes nothing.
#include <string>
#include <vector>

namespace vossel {

// "/diagnose" alone, in any case.
bool IsDiagnoseCommand(const std::vector<std::wstring>& arguments);

// The whole run; the exit code.
int RunDiagnose();

}  // namespace vossel
